// Feeds arbitrary bytes to the text model loader. A load either throws the library's exception
// or gives a model that saves and loads back to the same bytes and builds its class tree.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "qel/core/Exceptions.h"
#include "qel/core/IntrusivePtr.h"
#include "qel/core/StringConversion.h"
#include "qel/kit/TextModel.h"
#include "qel/model/DocumentNode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<Qel::TextModel> model;
  try {
    model = Qel::TextModel::LoadFromMemory(reinterpret_cast<const char*>(data), size);
  } catch (const Qel::BaseException&) {
    return 0;
  }
  // Loaded: the model must survive a save and load unchanged. Class trees of small hash spaces
  // only, so that the fuzzer's allocation limit holds.
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("qel_textmodel_fuzz_" + std::to_string(::getpid()) + ".xml"))
                               .string();
  model->Save(Qel::ConvertUtf8ToWideChar(path), false);
  std::stringstream first;
  first << std::ifstream(path, std::ios::binary).rdbuf();
  const std::string bytes = first.str();
  const auto again = Qel::TextModel::LoadFromMemory(bytes.data(), bytes.size());
  again->Save(Qel::ConvertUtf8ToWideChar(path), false);
  std::stringstream second;
  second << std::ifstream(path, std::ios::binary).rdbuf();
  std::filesystem::remove(path);
  if (second.str() != bytes) std::abort();
  if (model->GetOptions().vectorizer.hashBits <= 16 && model->GetLabels().size() <= 64) {
    try {
      const auto tree = Qel::AdoptRef(model->CreateClassTree());
      if (!tree) std::abort();
    } catch (const Qel::BaseException&) {
    }
  }
  return 0;
}
