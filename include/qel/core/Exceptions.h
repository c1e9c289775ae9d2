// The library's one exception hierarchy. Every failure is thrown by value as a BaseException
// or one of its subclasses and caught by reference; an exception holds an error id and its
// arguments, and builds its text only when GetErrorDescription() is called, in the language
// the library resource manager chose. Exception objects are plain values, used by one thread.
#pragma once

#include <qel/core/Export.h>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "qel/core/ErrorId.h"

namespace Qel {

// Every class below takes its error id as an ErrorId or as the plain number; the two forms
// build the same exception.

// Information about a hardware or operating-system fault. The code keeps the Windows values
// (0xC0000005 access violation, 0xC0000094 integer division by zero, ...).
struct ExceptionPointers {
  std::uint32_t code = 0;
  const void* address = nullptr;
};

class QEL_API BaseException {
 public:
  explicit BaseException(std::int32_t id);
  BaseException(std::int32_t id, const std::u16string& a1);
  BaseException(std::int32_t id, const std::u16string& a1, const std::u16string& a2);
  BaseException(std::int32_t id, const std::u16string& a1, const std::u16string& a2,
                const std::u16string& a3);
  // Id and numeric value (for instance the code point of error 73).
  BaseException(std::int32_t id, std::int32_t value);
  explicit BaseException(ErrorId id) : BaseException(Raw(id)) {}
  BaseException(ErrorId id, const std::u16string& a1) : BaseException(Raw(id), a1) {}
  BaseException(ErrorId id, const std::u16string& a1, const std::u16string& a2)
      : BaseException(Raw(id), a1, a2) {}
  BaseException(ErrorId id, const std::u16string& a1, const std::u16string& a2,
                const std::u16string& a3)
      : BaseException(Raw(id), a1, a2, a3) {}
  BaseException(ErrorId id, std::int32_t value) : BaseException(Raw(id), value) {}
  // Wraps a standard exception as error 17: argument 1 is `where`, the values of the failed
  // call as "(@0:'v0', @1:'v1'): " (or "(): " without values), then e.what().
  BaseException(const std::exception& e, const char* where);
  BaseException(const std::exception& e, const char* where, const std::u16string& v0);
  BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                const std::u16string& v1);
  BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                const std::u16string& v1, const std::u16string& v2);
  BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                const std::u16string& v1, const std::u16string& v2, const std::u16string& v3);

  BaseException(const BaseException&) = default;
  BaseException& operator=(const BaseException&) = default;
  virtual ~BaseException();

  // The message for this error, formatted from the message table in the current language.
  virtual const std::u16string GetErrorDescription() const;

  std::int32_t GetErrorId() const { return m_errorId; }
  std::u16string GetErrorArg() const { return m_arg1; }

 protected:
  static constexpr std::int32_t Raw(ErrorId id) { return static_cast<std::int32_t>(id); }

  // The description by the rules of BaseException itself (shared with WinOperationException).
  std::u16string DescribeBase() const;

  std::int32_t m_errorId;
  std::u16string m_arg1;
  std::u16string m_arg2;
  std::u16string m_arg3;
  std::int32_t m_value = 0;

 private:
  void Wrap(const std::exception& e, const char* where, const std::u16string* values, int count);
};

class QEL_API CollectionException : public BaseException {
 public:
  CollectionException(std::int32_t id, std::int32_t itemId);
  CollectionException(std::int32_t id, std::int32_t index, std::int32_t count);
  CollectionException(std::int32_t id, std::u16string itemName);
  CollectionException(ErrorId id, std::int32_t itemId) : CollectionException(Raw(id), itemId) {}
  CollectionException(ErrorId id, std::int32_t index, std::int32_t count)
      : CollectionException(Raw(id), index, count) {}
  CollectionException(ErrorId id, std::u16string itemName)
      : CollectionException(Raw(id), std::move(itemName)) {}
  const std::u16string GetErrorDescription() const override;

 private:
  std::int32_t m_index = 0;
  std::int32_t m_count = 0;
  std::int32_t m_itemId = 0;
  std::u16string m_itemName;
};

class QEL_API FileIOException : public BaseException {
 public:
  explicit FileIOException(std::int32_t id);
  FileIOException(std::int32_t id, const std::u16string& path);
  // `originalError` becomes argument 1 (for instance the system's text of the failure).
  FileIOException(std::int32_t id, const std::u16string& path, const std::u16string& originalError);
  explicit FileIOException(ErrorId id) : FileIOException(Raw(id)) {}
  FileIOException(ErrorId id, const std::u16string& path) : FileIOException(Raw(id), path) {}
  FileIOException(ErrorId id, const std::u16string& path, const std::u16string& originalError)
      : FileIOException(Raw(id), path, originalError) {}
  const std::u16string GetErrorDescription() const override;
  const std::u16string& GetPathname() const { return m_pathName; }

 private:
  std::u16string m_pathName;
};

class QEL_API LockException : public BaseException {
 public:
  LockException(std::int32_t id, const std::u16string& path);
  LockException(ErrorId id, const std::u16string& path) : LockException(Raw(id), path) {}
  const std::u16string GetErrorDescription() const override;
  const std::u16string& GetPathname() const { return m_pathName; }

 private:
  std::u16string m_pathName;
};

class QEL_API OutOfBoundsException : public BaseException {
 public:
  OutOfBoundsException(std::int32_t id, const std::u16string& a1);
  // `upper` is one past the highest valid index.
  OutOfBoundsException(std::int32_t id, std::int32_t current, std::int32_t upper);
  OutOfBoundsException(std::int32_t id, std::int32_t current, std::int32_t upper,
                       const std::u16string& a1);
  OutOfBoundsException(ErrorId id, const std::u16string& a1) : OutOfBoundsException(Raw(id), a1) {}
  OutOfBoundsException(ErrorId id, std::int32_t current, std::int32_t upper)
      : OutOfBoundsException(Raw(id), current, upper) {}
  OutOfBoundsException(ErrorId id, std::int32_t current, std::int32_t upper,
                       const std::u16string& a1)
      : OutOfBoundsException(Raw(id), current, upper, a1) {}
  const std::u16string GetErrorDescription() const override;
  std::int32_t GetCurrentIndex() const { return m_currentIndex; }
  std::int32_t GetMaxIndex() const { return m_upperBound; }

 private:
  std::int32_t m_currentIndex = -1;
  std::int32_t m_upperBound = -1;
};

class QEL_API StructuredException : public BaseException {
 public:
  // ErrorId::General (17) for the fault described by `info` (copied; the caller keeps its own).
  explicit StructuredException(const ExceptionPointers* info);
  const std::u16string GetErrorDescription() const override;
  const ExceptionPointers* GetExceptionPointers() const { return m_hasInfo ? &m_info : nullptr; }
  std::uint32_t GetExceptionCode() const { return m_info.code; }

  // Prepares the calling thread for fault reporting: a fatal fault (access violation, bus
  // error, illegal instruction, division by zero, stack overflow) on this thread prints its
  // StructuredException description to standard error before the process ends. Linux cannot
  // resume a thread after such a fault, so the fault is reported, not thrown.
  static void InititalizeStructuredExceptionHandling();

  // The Windows exception code that a POSIX fault signal corresponds to (0 when none).
  static std::uint32_t CodeFromSignal(int signal, int signalCode);

 private:
  ExceptionPointers m_info;
  bool m_hasInfo = false;
};

class QEL_API UserCanceledException : public BaseException {
 public:
  explicit UserCanceledException(std::int32_t id);
  explicit UserCanceledException(ErrorId id) : UserCanceledException(Raw(id)) {}
  const std::u16string GetErrorDescription() const override;
};

class QEL_API WinOperationException : public BaseException {
 public:
  explicit WinOperationException(std::int32_t id);
  WinOperationException(std::int32_t id, const std::u16string& operation);
  // `code` is a system error number (errno).
  WinOperationException(std::int32_t id, const std::u16string& operation, std::uint32_t code);
  WinOperationException(std::int32_t id, const std::u16string& operation,
                        const std::u16string& insert, std::uint32_t code);
  explicit WinOperationException(ErrorId id) : WinOperationException(Raw(id)) {}
  WinOperationException(ErrorId id, const std::u16string& operation)
      : WinOperationException(Raw(id), operation) {}
  WinOperationException(ErrorId id, const std::u16string& operation, std::uint32_t code)
      : WinOperationException(Raw(id), operation, code) {}
  WinOperationException(ErrorId id, const std::u16string& operation, const std::u16string& insert,
                        std::uint32_t code)
      : WinOperationException(Raw(id), operation, insert, code) {}
  const std::u16string GetErrorDescription() const override;
  std::uint32_t GetSystemErrorCode() const { return m_systemCode; }

 private:
  static std::u16string GetFormattedMessage(std::uint32_t code, const char16_t* insert);
  std::uint32_t m_systemCode = 0;
};

class QEL_API XMLFormatException : public BaseException {
 public:
  XMLFormatException(std::int32_t id, const std::u16string& nodeName);
  XMLFormatException(ErrorId id, const std::u16string& nodeName)
      : XMLFormatException(Raw(id), nodeName) {}
  const std::u16string GetErrorDescription() const override;

 private:
  std::u16string m_nodeName;
};

class QEL_API XmlException : public BaseException {
 public:
  explicit XmlException(std::int32_t id);
  XmlException(std::int32_t id, const std::u16string& a1);
  explicit XmlException(ErrorId id) : XmlException(Raw(id)) {}
  XmlException(ErrorId id, const std::u16string& a1) : XmlException(Raw(id), a1) {}
  const std::u16string GetErrorDescription() const override;
};

// The system's text for an error number (errno). Throws BaseException 17 when the system has
// no text for it.
QEL_API std::u16string GetWindowsApiMessage(int code);
// Same as GetWindowsApiMessage(code).
QEL_API std::u16string GetErrorMessage(int code);
// GetWindowsApiMessage(errno).
QEL_API std::u16string GetLastErrorMessage();
// "Error in <component>, Function <function>: <cause> (0x<hr>)" with the cause taken from the
// table of common result codes; never throws.
QEL_API std::u16string HResultToString(std::int32_t hr, const std::u16string& component,
                                       const std::u16string& function);

}  // namespace Qel
