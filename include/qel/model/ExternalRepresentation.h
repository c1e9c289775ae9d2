// Base of representation types defined outside the library (feature vectors computed by other
// components): a Node that is also a Representation, whose data may be read out as bytes in
// blocks. Reference counted like every node; one thread at a time.
#pragma once

#include "qel/core/Export.h"
#include "qel/core/Node.h"
#include "qel/model/Representation.h"

namespace Qel {

class QEL_API ExternalRepresentation : public Node, public Representation {
 public:
  // Makes the representation's data available (computes it or fetches it from its source);
  // what that means is the concrete type's business.
  virtual void Prepare() = 0;
  // Whether the data can be read with GetBlock; false by default.
  virtual bool CanStream();
  // Copies up to `size` bytes of the data into `buffer` and returns how many were copied; by
  // default there is no data (0).
  virtual unsigned int GetBlock(char* buffer, unsigned int size);
  // One answer for both bases: an external representation has no stored form of its own
  // unless its type writes one, so both return false by default.
  bool Save(std::ostream* os) override { return Representation::Save(os); }
  bool Load(std::istream* is) override { return Representation::Load(is); }

 protected:
  explicit ExternalRepresentation(const Representation::RepTag& tag) : Representation(tag) {}
  ~ExternalRepresentation() override = default;
};

}  // namespace Qel
