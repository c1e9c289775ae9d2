#include "qel/core/Exceptions.h"

#include <cerrno>
#include <cstring>

#include "core/MessageFormat.h"
#include "core/Text.h"
#include "core/Throw.h"
#include "platform/Platform.h"
#include "qel/core/ResMgr.h"
#include "qel/core/StringConversion.h"

namespace Qel {

using Detail::AsciiToU16;
using Detail::DecimalU16;

namespace {

constexpr std::size_t kBaseLimit = 1023;
constexpr std::size_t kCollectionLimit = 255;
constexpr std::size_t kXmlLimit = 127;
constexpr std::size_t kWinOperationLimit = 511;
constexpr std::size_t kHResultLimit = 255;

const ResMgr& Messages() { return GetLibraryResMgr(); }

std::u16string Cut(std::u16string text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
  return text;
}

// Message `withArg` formatted with `arg` when it is given, else message `without`.
std::u16string ArgOr(unsigned withArg, unsigned without, const std::u16string& arg) {
  return arg.empty() ? Messages().GetString(without) : Messages().GetString(withArg, arg, u"", u"");
}

std::u16string WithId(unsigned id, std::int32_t value) {
  return Messages().GetStringL(id, &value, nullptr, nullptr);
}

std::u16string AnsiText(const char* text) {
  std::u16string out;
  ConvertA2W(text ? text : "", out);
  return out;
}

const char* StructuredText(std::uint32_t code) {
  switch (code) {
    case 0xC0000005:
      return "The thread tried to read from or write to a virtual address for which it does not "
             "have the appropriate access.";
    case 0x80000002:
      return "The thread tried to read or write data that is misaligned on hardware that does not "
             "provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries; "
             "32-bit values on 4-byte boundaries, and so on.";
    case 0x80000003:
      return "A breakpoint was encountered.";
    case 0x80000004:
      return "A trace trap or other single-instruction mechanism signaled that one instruction has "
             "been executed.";
    case 0xC0000006:
      return "The thread tried to access a page that was not present, and the system was unable to "
             "load the page. For example, this exception might occur if a network connection is "
             "lost while running a program over the network.";
    case 0xC000001D:
      return "The thread tried to execute an invalid instruction.";
    case 0xC0000025:
      return "The thread tried to continue execution after a noncontinuable exception occurred.";
    case 0xC0000026:
      return "An exception handler returned an invalid disposition to the exception dispatcher. "
             "Programmers using a high-level language such as C should never encounter this "
             "exception.";
    case 0xC000008C:
      return "The thread tried to access an array element that is out of bounds and the underlying "
             "hardware supports bounds checking.";
    case 0xC000008D:
      return "One of the operands in a floating-point operation is denormal. A denormal value is "
             "one that is too small to represent as a standard floating-point value.";
    case 0xC000008E:
      return "The thread tried to divide a floating-point value by a floating-point divisor of "
             "zero.";
    case 0xC000008F:
      return "The result of a floating-point operation cannot be represented exactly as a decimal "
             "fraction.";
    case 0xC0000090:
      return "This exception represents any floating-point exception not included in this list.";
    case 0xC0000091:
      return "The exponent of a floating-point operation is greater than the magnitude allowed by "
             "the corresponding type.";
    case 0xC0000092:
      return "The stack overflowed or underflowed as the result of a floating-point operation.";
    case 0xC0000093:
      return "The exponent of a floating-point operation is less than the magnitude allowed by the "
             "corresponding type.";
    case 0xC0000094:
      return "The thread tried to divide an integer value by an integer divisor of zero.";
    case 0xC0000095:
      return "The result of an integer operation caused a carry out of the most significant bit of "
             "the result.";
    case 0xC0000096:
      return "The thread tried to execute an instruction whose operation is not allowed in the "
             "current machine mode.";
    case 0xC00000FD:
      return "The thread used up its stack.";
    default:
      return nullptr;
  }
}

}  // namespace

namespace Detail {
// Shared with the fault handler, which may only use async-signal-safe calls.
const char* StructuredExceptionText(std::uint32_t code) { return StructuredText(code); }
}  // namespace Detail

// ---- BaseException --------------------------------------------------------------------------

BaseException::BaseException(std::int32_t id) : m_errorId(id) {}
BaseException::BaseException(std::int32_t id, const std::u16string& a1)
    : m_errorId(id), m_arg1(a1) {}
BaseException::BaseException(std::int32_t id, const std::u16string& a1, const std::u16string& a2)
    : m_errorId(id), m_arg1(a1), m_arg2(a2) {}
BaseException::BaseException(std::int32_t id, const std::u16string& a1, const std::u16string& a2,
                             const std::u16string& a3)
    : m_errorId(id), m_arg1(a1), m_arg2(a2), m_arg3(a3) {}
BaseException::BaseException(std::int32_t id, std::int32_t value) : m_errorId(id), m_value(value) {}

BaseException::BaseException(const std::exception& e, const char* where)
    : m_errorId(Raw(ErrorId::General)) {
  Wrap(e, where, nullptr, 0);
}
BaseException::BaseException(const std::exception& e, const char* where, const std::u16string& v0)
    : m_errorId(Raw(ErrorId::General)) {
  const std::u16string values[] = {v0};
  Wrap(e, where, values, 1);
}
BaseException::BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                             const std::u16string& v1)
    : m_errorId(Raw(ErrorId::General)) {
  const std::u16string values[] = {v0, v1};
  Wrap(e, where, values, 2);
}
BaseException::BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                             const std::u16string& v1, const std::u16string& v2)
    : m_errorId(Raw(ErrorId::General)) {
  const std::u16string values[] = {v0, v1, v2};
  Wrap(e, where, values, 3);
}
BaseException::BaseException(const std::exception& e, const char* where, const std::u16string& v0,
                             const std::u16string& v1, const std::u16string& v2,
                             const std::u16string& v3)
    : m_errorId(Raw(ErrorId::General)) {
  const std::u16string values[] = {v0, v1, v2, v3};
  Wrap(e, where, values, 4);
}

BaseException::~BaseException() = default;

void BaseException::Wrap(const std::exception& e, const char* where, const std::u16string* values,
                         int count) {
  std::u16string text = AnsiText(where);
  if (count == 0) {
    text += u"(): ";
  } else {
    for (int i = 0; i < count; ++i) {
      text += i == 0 ? u"(@0:'" : u"', @" + DecimalU16(i) + u":'";
      text += values[i];
    }
    text += u"'): ";
  }
  text += AnsiText(e.what());
  m_arg1 = std::move(text);
}

std::u16string BaseException::DescribeBase() const {
  const ResMgr& rm = Messages();
  const std::u16string& arg = m_arg1;
  std::u16string text;
  switch (static_cast<ErrorId>(m_errorId)) {
    case ErrorId::InvalidArgument:
      text = ArgOr(134, 135, arg);
      break;
    case ErrorId::InvalidFilePath:
      text = ArgOr(110, 111, arg);
      break;
    case ErrorId::OutOfMemory:
      text = rm.GetString(505);
      if (!arg.empty()) text += u": " + arg;
      break;
    case ErrorId::General:
      text = ArgOr(102, 101, arg);
      break;
    case ErrorId::ClassifierNewerVersion:
      text = ArgOr(104, 105, arg);
      break;
    case ErrorId::FeatureNotSupported:
      if (!arg.empty()) return arg;  // kept whole, whatever its length
      text = rm.GetString(125);
      break;
    case ErrorId::XmlNodeInvalid:
      text = rm.GetString(123);
      break;
    case ErrorId::PreprocessingMethodNotInstalled:
      text = rm.GetString(128, arg, u"", u"");
      break;
    case ErrorId::ExtractionMethodNewerVersion:
      text = ArgOr(106, 107, arg);
      break;
    case ErrorId::RegexSyntax:
      text = rm.GetString(121);
      break;
    case ErrorId::BarcodeLocatorError:
      text = ArgOr(133, 132, arg);
      break;
    case ErrorId::SettingsIncomplete:
      text = rm.GetString(510, arg, u"", u"");
      break;
    case ErrorId::DatabaseTypeNotSupported:
      text = rm.GetString(514, arg, u"", u"");
      break;
    case ErrorId::RemoteFuzzyDatabaseConnection:
      text = ArgOr(516, 515, arg);
      break;
    case ErrorId::FuzzyDatabaseUnreachable:
      text = ArgOr(520, 519, arg);
      break;
    case ErrorId::FuzzyDatabaseServerError:
      text = ArgOr(522, 521, arg);
      break;
    case ErrorId::UnknownError:
      text = ArgOr(524, 523, arg);
      break;
    case ErrorId::NoFuzzyDatabaseServer:
      text = rm.GetString(526);
      break;
    case ErrorId::FieldCountMismatch:
      text = rm.GetString(527);
      break;
    case ErrorId::LayoutClassifierNotLoaded:
      text = rm.GetString(532);
      break;
    case ErrorId::NaturalLanguageProcessing:
      text = rm.GetString(900, arg, u"", u"");
      break;
    case ErrorId::UnexpectedUnicodeCharacter: {
      const std::u16string character =
          arg.empty() ? Detail::FormatMessageText(u"U+%04X", {m_value}) : arg;
      text = rm.GetString(910, character, u"", u"");
      break;
    }
    case ErrorId::UnmatchedTextQualifier:
      text = rm.GetString(911, m_arg1.c_str(), m_arg2.c_str(), m_arg3.c_str());
      break;
    case ErrorId::DelimiterNotSingleSymbol:
      text = rm.GetString(912, m_arg1.c_str(), m_arg2.c_str(), nullptr);
      break;
    case ErrorId::FuzzyDatabaseOnly:
      text = rm.GetString(517);
      break;
    case ErrorId::PasswordDecryption:
      text = rm.GetString(518);
      break;
    case ErrorId::NullPointer:
      text = rm.GetString(913, arg, u"", u"");
      break;
    case ErrorId::InvalidOperation:
      text = rm.GetString(914, arg, u"", u"");
      break;
    default:
      text = WithId(131, m_errorId);
      break;
  }
  return Cut(std::move(text), kBaseLimit);
}

const std::u16string BaseException::GetErrorDescription() const { return DescribeBase(); }

// ---- CollectionException --------------------------------------------------------------------

CollectionException::CollectionException(std::int32_t id, std::int32_t itemId)
    : BaseException(id), m_itemId(itemId) {}
CollectionException::CollectionException(std::int32_t id, std::int32_t index, std::int32_t count)
    : BaseException(id), m_index(index), m_count(count) {}
CollectionException::CollectionException(std::int32_t id, std::u16string itemName)
    : BaseException(id), m_itemName(std::move(itemName)) {}

const std::u16string CollectionException::GetErrorDescription() const {
  const ResMgr& rm = Messages();
  std::u16string text;
  switch (static_cast<ErrorId>(m_errorId)) {
    case ErrorId::CollectionIndexOutOfRange: {
      const std::int32_t last = m_count - 1;
      text = rm.GetStringL(200, &m_index, &last, nullptr);
      break;
    }
    case ErrorId::ItemIdNotFound:
      text = WithId(506, m_itemId);
      break;
    case ErrorId::ItemNameNotFound:
      text = rm.GetString(508, m_itemName, u"", u"");
      break;
    case ErrorId::GuidNotFound:
      text = rm.GetString(533, m_itemName, u"", u"");
      break;
    default:
      text = WithId(507, m_errorId);
      break;
  }
  return Cut(std::move(text), kCollectionLimit);
}

// ---- FileIOException ------------------------------------------------------------------------

FileIOException::FileIOException(std::int32_t id) : BaseException(id) {}
FileIOException::FileIOException(std::int32_t id, const std::u16string& path)
    : BaseException(id), m_pathName(path) {}
FileIOException::FileIOException(std::int32_t id, const std::u16string& path,
                                 const std::u16string& originalError)
    : BaseException(id, originalError), m_pathName(path) {}

const std::u16string FileIOException::GetErrorDescription() const {
  const ResMgr& rm = Messages();
  const std::u16string& path = m_pathName;
  const bool hasArg = !m_arg1.empty();
  switch (static_cast<ErrorId>(m_errorId)) {
    case ErrorId::FileFormatNotSupported:
      return hasArg ? rm.GetString(412, m_arg1, path, u"") : rm.GetString(404, path, u"", u"");
    case ErrorId::FileWrite:
      return hasArg ? rm.GetString(411, path, m_arg1, u"") : rm.GetString(403, path, u"", u"");
    case ErrorId::FileCreate:
      return hasArg ? rm.GetString(408, path, m_arg1, u"") : rm.GetString(400, path, u"", u"");
    case ErrorId::FileOpen:
      return hasArg ? rm.GetString(407, path, m_arg1, u"") : rm.GetString(401, path, u"", u"");
    case ErrorId::FileRead:
      if (path.empty()) return rm.GetString(405);
      return hasArg ? rm.GetString(410, path, m_arg1, u"") : rm.GetString(402, path, u"", u"");
    case ErrorId::FileDelete:
      return hasArg ? rm.GetString(409, path, m_arg1, u"") : rm.GetString(406, path, u"", u"");
    case ErrorId::FileNotFound:
      return rm.GetString(529, path, u"", u"");
    default:
      return u"FileIOException " + DecimalU16(m_errorId) + u", Filename: " + path;
  }
}

// ---- LockException --------------------------------------------------------------------------

LockException::LockException(std::int32_t id, const std::u16string& path)
    : BaseException(id), m_pathName(path) {}

const std::u16string LockException::GetErrorDescription() const {
  if (m_errorId == ErrorId::LockFileCreate) return Messages().GetString(800, m_pathName, u"", u"");
  return u"LockException " + DecimalU16(m_errorId) + u", Filename: " + m_pathName;
}

// ---- OutOfBoundsException -------------------------------------------------------------------

OutOfBoundsException::OutOfBoundsException(std::int32_t id, const std::u16string& a1)
    : BaseException(id, a1) {}
OutOfBoundsException::OutOfBoundsException(std::int32_t id, std::int32_t current,
                                           std::int32_t upper)
    : BaseException(id), m_currentIndex(current), m_upperBound(upper) {}
OutOfBoundsException::OutOfBoundsException(std::int32_t id, std::int32_t current,
                                           std::int32_t upper, const std::u16string& a1)
    : BaseException(id, a1), m_currentIndex(current), m_upperBound(upper) {}

const std::u16string OutOfBoundsException::GetErrorDescription() const {
  const ResMgr& rm = Messages();
  if (m_errorId != ErrorId::IndexOutOfRange) return Cut(WithId(131, m_errorId), kBaseLimit);
  if (m_currentIndex == -1 && m_upperBound == -1) {
    return Cut(rm.GetString(535, m_arg1, u"", u""), kBaseLimit);
  }
  const std::int32_t last = m_upperBound - 1;
  if (m_arg1.empty()) return Cut(rm.GetStringL(200, &m_currentIndex, &last, nullptr), kBaseLimit);
  return Cut(rm.GetString(534, &m_currentIndex, &last, m_arg1), kBaseLimit);
}

// ---- StructuredException --------------------------------------------------------------------

StructuredException::StructuredException(const ExceptionPointers* info)
    : BaseException(ErrorId::General) {
  if (info != nullptr) {
    m_info = *info;
    m_hasInfo = true;
  }
}

const std::u16string StructuredException::GetErrorDescription() const {
  std::u16string text = u"StructuredException. ";
  if (const char* known = StructuredText(m_info.code)) {
    text += AsciiToU16(known);
  } else {
    text += u"Unknown structured exception, exception code: " +
            DecimalU16(static_cast<std::int32_t>(m_info.code));
  }
  return text;
}

// ---- UserCanceledException ------------------------------------------------------------------

UserCanceledException::UserCanceledException(std::int32_t id) : BaseException(id) {}

const std::u16string UserCanceledException::GetErrorDescription() const {
  // Messages 500 to 503 in the order of the ids.
  constexpr std::int32_t first = Raw(ErrorId::ClassificationCanceled);
  if (m_errorId >= first && m_errorId <= Raw(ErrorId::DocumentAnalysisCanceled)) {
    return Messages().GetString(static_cast<unsigned>(500 + m_errorId - first));
  }
  return Cut(WithId(131, m_errorId), kCollectionLimit);
}

// ---- WinOperationException ------------------------------------------------------------------

WinOperationException::WinOperationException(std::int32_t id) : BaseException(id) {}
WinOperationException::WinOperationException(std::int32_t id, const std::u16string& operation)
    : BaseException(id, operation) {}
WinOperationException::WinOperationException(std::int32_t id, const std::u16string& operation,
                                             std::uint32_t code)
    : BaseException(id, operation), m_systemCode(code) {}
WinOperationException::WinOperationException(std::int32_t id, const std::u16string& operation,
                                             const std::u16string& insert, std::uint32_t code)
    : BaseException(id, operation, insert), m_systemCode(code) {}

std::u16string WinOperationException::GetFormattedMessage(std::uint32_t code,
                                                          const char16_t* insert) {
  // System texts carry no inserts on Linux; a "%1" in one would receive `insert`.
  std::u16string text = AnsiText(Platform::ErrnoText(static_cast<int>(code)).c_str());
  const std::size_t pos = text.find(u"%1");
  if (pos != std::u16string::npos) text.replace(pos, 2, insert ? insert : u"");
  return text;
}

const std::u16string WinOperationException::GetErrorDescription() const {
  if (m_errorId != ErrorId::WinOperationFailed) return DescribeBase();
  const std::u16string system = GetFormattedMessage(m_systemCode, m_arg2.c_str());
  const std::u16string format = Messages().GetString(700);
  return Detail::FormatMessageText(
      format, {m_arg1, static_cast<std::int32_t>(m_systemCode), system}, kWinOperationLimit);
}

// ---- XMLFormatException ---------------------------------------------------------------------

XMLFormatException::XMLFormatException(std::int32_t id, const std::u16string& nodeName)
    : BaseException(id), m_nodeName(nodeName) {}

const std::u16string XMLFormatException::GetErrorDescription() const {
  const ResMgr& rm = Messages();
  switch (static_cast<ErrorId>(m_errorId)) {
    case ErrorId::XmlNodeFormatNewerVersion:
      return Cut(rm.GetString(301, m_nodeName, u"", u""), kBaseLimit);
    case ErrorId::XmlFileNewerVersion:
      return Cut(rm.GetString(300), kBaseLimit);
    default:
      return Cut(rm.GetString(302, m_nodeName, u"", u""), kBaseLimit);
  }
}

// ---- XmlException ---------------------------------------------------------------------------

XmlException::XmlException(std::int32_t id) : BaseException(id) {}
XmlException::XmlException(std::int32_t id, const std::u16string& a1) : BaseException(id, a1) {}

const std::u16string XmlException::GetErrorDescription() const {
  // The messages of XmlNoOpenNode to XmlIllegalCharacters, in the order of the ids.
  static constexpr unsigned kMessages[] = {600, 602, 603, 604, 605};
  constexpr std::int32_t first = Raw(ErrorId::XmlNoOpenNode);
  const bool known = m_errorId >= first && m_errorId <= Raw(ErrorId::XmlIllegalCharacters);
  const unsigned id = known ? kMessages[m_errorId - first] : 601;
  return Cut(Messages().GetString(id), kXmlLimit);
}

// ---- Free functions -------------------------------------------------------------------------

std::u16string GetWindowsApiMessage(int code) {
  const std::string text = Platform::ErrnoText(code);
  if (text.empty()) {
    errno = EINVAL;  // what failed is the lookup of an unknown number
    Detail::ThrowGeneral(GetLastErrorMessage() + u"\nOriginal error code: " + DecimalU16(code));
  }
  return AnsiText(text.c_str());
}

std::u16string GetErrorMessage(int code) { return GetWindowsApiMessage(code); }

std::u16string GetLastErrorMessage() { return GetWindowsApiMessage(errno); }

std::u16string HResultToString(std::int32_t hr, const std::u16string& component,
                               const std::u16string& function) {
  const char* cause = "Unknown error";
  switch (static_cast<std::uint32_t>(hr)) {
    case 0x8000FFFF:
      cause = "Catastrophic failure";
      break;
    case 0x80004001:
      cause = "Not implemented";
      break;
    case 0x80004002:
      cause = "Interface not supported";
      break;
    case 0x80004003:
      cause = "Pointer not valid";
      break;
    case 0x80004004:
      cause = "Operation aborted";
      break;
    case 0x80004005:
      cause = "Unspecified error";
      break;
    case 0x80070005:
      cause = "General access denied";
      break;
    case 0x80070006:
      cause = "Handle not valid";
      break;
    case 0x8007000E:
      cause = "Out of memory";
      break;
    case 0x80070057:
      cause = "One or more arguments are not valid";
      break;
    default:
      break;
  }
  const std::u16string format = Messages().GetString(509);
  return Detail::FormatMessageText(
      format, {component, function, AsciiToU16(cause), static_cast<std::uint32_t>(hr)},
      kHResultLimit);
}

}  // namespace Qel
