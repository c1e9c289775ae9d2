#include "qel/core/Exceptions.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <utility>

#include "core/Throw.h"
#include "qel/core/ResMgr.h"

namespace Qel {
namespace Detail {
void CallPureVirtualFunction();
}

namespace {

std::u16string Msg(unsigned id) { return GetLibraryResMgr().GetString(id); }

// What `raise` throws: id, argument and description.
struct Raised {
  std::int32_t id = -1;
  std::u16string arg, description;
};
Raised Caught(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const BaseException& e) {
    return {e.GetErrorId(), e.GetErrorArg(), e.GetErrorDescription()};
  }
  ADD_FAILURE() << "nothing was thrown";
  return {};
}

TEST(BaseExceptionTest, DescriptionsFollowTheMessageTableByClassAndId) {
  const std::u16string arg = u"list";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {BaseException(1, u"x").GetErrorDescription(), u"Invalid argument: x."},
      {BaseException(1).GetErrorDescription(), u"Invalid argument specified."},
      {BaseException(3).GetErrorDescription(), u"Invalid file path \"(NULL)\" specified."},
      {BaseException(3, u"/a").GetErrorDescription(), u"Invalid file path \"/a\" specified."},
      {BaseException(5, u"[752]").GetErrorDescription(), u"Out of memory: [752]"},
      {BaseException(5).GetErrorDescription(), u"Out of memory"},
      {BaseException(17).GetErrorDescription(), u"Unknown error in Qel library occurred."},
      {BaseException(25, u"only this").GetErrorDescription(), u"only this"},
      {BaseException(25).GetErrorDescription(), u"Feature not supported."},
      {BaseException(4).GetErrorDescription(), u"Qel exception number 4"},
      {BaseException(68).GetErrorDescription(), u"Qel exception number 68"},
      {BaseException(53).GetErrorDescription(), u"The settings are incomplete: "},
      {BaseException(73, 0xAD).GetErrorDescription(),
       u"An unexpected Unicode character 'U+00AD' has been found."},
      {BaseException(73, u"\u3000").GetErrorDescription(),
       u"An unexpected Unicode character '\u3000' has been found."},
      {BaseException(74, u"a;\"b", u"\"", u"2").GetErrorDescription(),
       u"An error occurred while splitting the following line : 'a;\"b'.\n\rThe following text "
       u"qualifier '\"' was found at index '2', but not the corresponding one after the data."},
      {BaseException(75, u";", u"x").GetErrorDescription(),
       u"The following delimiter ';' is not valid because its Unicode normalized form is "
       u"represented by multiple Unicode symbols: 'x'."},
      {BaseException(57).GetErrorDescription(), Msg(515)},
      {BaseException(79, u"op").GetErrorDescription(), u"Invalid operation: 'op'."},
      {OutOfBoundsException(8, 5, 3).GetErrorDescription(),
       u"Qel-Exception: Index (5) out of range (0 - 2). "},
      {OutOfBoundsException(8, arg).GetErrorDescription(),
       u"Qel-Exception - (out of range): list."},
      {OutOfBoundsException(8, 5, 3, arg).GetErrorDescription(),
       u"Qel-Exception: Index (5) out of range (0 - 2): list."},
      {OutOfBoundsException(9, 5, 3).GetErrorDescription(), u"Qel exception number 9"},
      {CollectionException(1001, 7, 7).GetErrorDescription(),
       u"Qel-Exception: Index (7) out of range (0 - 6). "},
      {CollectionException(999, 1).GetErrorDescription(), u"Unknown collection exception #999."},
      {CollectionException(1002, 42).GetErrorDescription(), u"Item with Id #42 not found."},
      {CollectionException(1003, std::u16string(u"n")).GetErrorDescription(),
       u"Item with name 'n' not found."},
      {FileIOException(2004).GetErrorDescription(), u"Could not read file"},
      {FileIOException(2004, u"/f").GetErrorDescription(), u"Could not read file: /f"},
      {FileIOException(2003, u"/f", u"No such file").GetErrorDescription(),
       u"Could not open file: /f. Original error: No such file"},
      {FileIOException(25, u"/f", u"gz").GetErrorDescription(),
       u"This file format 'gz' is not supported: /f"},
      {FileIOException(17, u"/f").GetErrorDescription(), u"FileIOException 17, Filename: /f"},
      {FileIOException(2006, u"/f").GetPathname(), u"/f"},
      {LockException(3000, u"/l").GetErrorDescription(), u"Could not create lock file in \"/l\"."},
      {LockException(1, u"/l").GetErrorDescription(), u"LockException 1, Filename: /l"},
      {UserCanceledException(21).GetErrorDescription(), u"Training canceled by user"},
      {UserCanceledException(24).GetErrorDescription(), u"Qel exception number 24"},
      {XmlException(3005).GetErrorDescription(), u"The XML string contains illegal characters."},
      {XmlException(1).GetErrorDescription(), u"Unknown XML error."},
      {XMLFormatException(9, u"n").GetErrorDescription(),
       u"Invalid XML format for node 'n' detected.. Please update to the new version."},
      {XMLFormatException(10, u"n").GetErrorDescription(), Msg(300)},
      {XMLFormatException(11, u"n").GetErrorDescription(),
       u"Invalid XML format for node 'n' detected."},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
  EXPECT_EQ(OutOfBoundsException(8, 5, 3).GetMaxIndex(), 3);
}

TEST(BaseExceptionTest, LongDescriptionsAreCutExceptForFeatureTexts) {
  const std::u16string longArg(3000, u'x');
  EXPECT_EQ(BaseException(1, longArg).GetErrorDescription().size(), 1023u);
  EXPECT_EQ(BaseException(25, longArg).GetErrorDescription(), longArg);
  EXPECT_EQ(XmlException(3001, longArg).GetErrorDescription(),
            u"No open XML node for this operation.");
}

TEST(BaseExceptionTest, WrapsStandardExceptionsWithTheFailedCall) {
  const std::invalid_argument e("stoi");
  BaseException none(e, "Qel::F");
  EXPECT_EQ(none.GetErrorId(), 17);
  EXPECT_EQ(none.GetErrorArg(), u"Qel::F(): stoi");
  BaseException two(e, "Qel::F", u"12x", u"b");
  EXPECT_EQ(two.GetErrorArg(), u"Qel::F(@0:'12x', @1:'b'): stoi");
  BaseException four(e, "G", u"1", u"2", u"3", u"4");
  EXPECT_EQ(four.GetErrorArg(), u"G(@0:'1', @1:'2', @2:'3', @3:'4'): stoi");
  EXPECT_EQ(two.GetErrorDescription(),
            u"Unknown error in Qel library occurred: Qel::F(@0:'12x', @1:'b'): stoi");
  // Copies keep every field.
  BaseException copy = two;
  EXPECT_EQ(copy.GetErrorDescription(), two.GetErrorDescription());
}

// One exception raised through the throw helpers, once with its named id, once with the number.
struct NamedIdCase {
  ErrorId id;
  std::int32_t number;
  std::function<void(ErrorId)> byName;
  std::function<void(std::int32_t)> byNumber;
};

template <class E, class... Args>
NamedIdCase Case(ErrorId id, std::int32_t number, Args... args) {
  return {id, number, [=](ErrorId named) { Detail::Throw<E>(named, args...); },
          [=](std::int32_t plain) { Detail::Throw<E>(plain, args...); }};
}

TEST(ErrorIdTest, NamedIdsKeepTheirNumbersAndDescriptions) {
  const NamedIdCase cases[] = {
      Case<BaseException>(ErrorId::InvalidArgument, 1, u"x"),
      Case<BaseException>(ErrorId::OutOfMemory, 5, u"[752]"),
      Case<BaseException>(ErrorId::General, 17),
      Case<BaseException>(ErrorId::UnexpectedUnicodeCharacter, 73, std::int32_t{0xAD}),
      Case<BaseException>(ErrorId::DelimiterNotSingleSymbol, 75, u";", u"x"),
      Case<BaseException>(ErrorId::UnmatchedTextQualifier, 74, u"a", u"\"", u"2"),
      Case<OutOfBoundsException>(ErrorId::IndexOutOfRange, 8, 5, 3),
      Case<XMLFormatException>(ErrorId::XmlNodeFormatNewerVersion, 9, u"n"),
      Case<UserCanceledException>(ErrorId::ClassificationCanceled, 20),
      Case<FileIOException>(ErrorId::FileFormatNotSupported, 25, u"/f", u"gz"),
      Case<WinOperationException>(ErrorId::WinOperationFailed, 100, u"open", 2u),
      Case<CollectionException>(ErrorId::ItemIdNotFound, 1002, 42),
      Case<FileIOException>(ErrorId::FileCreate, 2002, u"/f"),
      Case<LockException>(ErrorId::LockFileCreate, 3000, u"/l"),
      Case<XmlException>(ErrorId::XmlFileAlreadyOpen, 3003),
      {ErrorId::FileOpen, 2003, [](ErrorId id) { Detail::ThrowFileError(id, u"/f", ENOENT); },
       [](std::int32_t id) {
         Detail::Throw<FileIOException>(id, u"/f", Detail::SystemErrorText(ENOENT));
       }},
  };
  for (const NamedIdCase& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(static_cast<std::int32_t>(c.id), c.number);
    const auto named = Caught([&] { c.byName(c.id); });
    const auto plain = Caught([&] { c.byNumber(c.number); });
    EXPECT_EQ(named.id, c.number);
    EXPECT_TRUE(named.id == c.id);
    EXPECT_FALSE(named.id + 1 == c.id);
    EXPECT_EQ(named.description, plain.description);
    // Every row has a message of its own, not its class's text for an unknown id.
    for (const char16_t* unknown : {u"Qel exception number", u"Unknown collection exception",
                                    u"FileIOException ", u"LockException ", u"Unknown XML error"}) {
      EXPECT_FALSE(named.description.starts_with(unknown));
    }
  }
  EXPECT_EQ(static_cast<std::int32_t>(ErrorId::ReadOnlyFile), 4);
  EXPECT_EQ(static_cast<std::int32_t>(ErrorId::PureVirtualCall), 68);
  EXPECT_EQ(static_cast<std::int32_t>(ErrorId::XmlDocumentTooLarge), 11);
}

TEST(SubclassExceptionTest, StructuredAndSystemTexts) {
  ExceptionPointers division{0xC0000094, nullptr};
  EXPECT_EQ(StructuredException(&division).GetErrorDescription(),
            u"StructuredException. The thread tried to divide an integer value by an integer "
            u"divisor of zero.");
  ExceptionPointers unknown{0xE06D7363, nullptr};
  EXPECT_EQ(StructuredException(&unknown).GetErrorDescription(),
            u"StructuredException. Unknown structured exception, exception code: -529697949");
  EXPECT_EQ(StructuredException(&unknown).GetErrorId(), 17);

  EXPECT_EQ(WinOperationException(100, u"open", 2).GetErrorDescription(),
            u"Win operation \"open\" failed. Error: 2 - No such file or directory");
  EXPECT_EQ(WinOperationException(100, u"op", 999999).GetErrorDescription(),
            u"Win operation \"op\" failed. Error: 999999 - ");
  EXPECT_EQ(WinOperationException(1, u"x").GetErrorDescription(), u"Invalid argument: x.");
  EXPECT_EQ(WinOperationException(100, std::u16string(600, u'o'), 2).GetErrorDescription().size(),
            511u);

  EXPECT_EQ(GetWindowsApiMessage(13), u"Permission denied");
  EXPECT_EQ(GetErrorMessage(2), u"No such file or directory");
  const Raised unknownCode = Caught([] { GetWindowsApiMessage(987654); });
  EXPECT_EQ(unknownCode.id, 17);
  EXPECT_EQ(unknownCode.arg, u"Invalid argument\nOriginal error code: 987654");
}

TEST(SubclassExceptionTest, HResultTexts) {
  EXPECT_EQ(HResultToString(static_cast<std::int32_t>(0x80004005), u"Comp", u"Fn"),
            u"Error in Comp, Function Fn: Unspecified error (0x80004005)");
  EXPECT_EQ(HResultToString(0, u"C", u"F"), u"Error in C, Function F: Unknown error (0x0)");
  EXPECT_EQ(HResultToString(static_cast<std::int32_t>(0x8007000E), u"C", std::u16string(400, u'f'))
                .size(),
            255u);
}

TEST(SubclassExceptionTest, PureVirtualCallsInTheLibraryThrow68) {
  EXPECT_EQ(Caught([] { Detail::CallPureVirtualFunction(); }).id, 68);
}

TEST(StructuredExceptionDeathTest, FaultsAreReportedWithTheirText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::signal(SIGSEGV, SIG_DFL);  // a process without a fault handler of its own
        StructuredException::InititalizeStructuredExceptionHandling();
        std::raise(SIGSEGV);
      },
      testing::KilledBySignal(SIGSEGV),
      "StructuredException. The thread tried to read from or write to a virtual address");
  // A handler the host installed stays in place.
  EXPECT_EXIT(
      {
        std::signal(SIGSEGV, [](int) { std::_Exit(42); });
        StructuredException::InititalizeStructuredExceptionHandling();
        std::raise(SIGSEGV);
      },
      testing::ExitedWithCode(42), "");
  EXPECT_EQ(StructuredException::CodeFromSignal(SIGFPE, FPE_INTDIV), 0xC0000094u);
  EXPECT_EQ(StructuredException::CodeFromSignal(SIGBUS, BUS_ADRALN), 0x80000002u);
}

}  // namespace
}  // namespace Qel
