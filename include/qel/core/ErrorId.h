// The error ids that the library's exceptions carry, by name. The numbers are part of the
// public contract (GetErrorId() returns them and callers compare with them), so an
// enumerator's value never changes. Constants only; any thread may use them.
#pragma once

#include <cstdint>

namespace Qel {

// An id selects the message by exception class: the same number may mean different things in
// different classes (25 is an unsupported feature for BaseException and an unsupported file
// format for FileIOException), so some numbers have one name per meaning.
enum class ErrorId : std::int32_t {
  // BaseException (and WinOperationException for ids other than WinOperationFailed).
  InvalidArgument = 1,
  InvalidFilePath = 3,
  ReadOnlyFile = 4,  // a read-only file stopped a delete or rename; described by its number
  OutOfMemory = 5,
  General = 17,  // also wrapped standard exceptions and failed system calls
  ClassifierNewerVersion = 18,
  FeatureNotSupported = 25,
  XmlNodeInvalid = 27,
  PreprocessingMethodNotInstalled = 37,
  ExtractionMethodNewerVersion = 38,
  RegexSyntax = 50,
  BarcodeLocatorError = 51,
  SettingsIncomplete = 53,
  DatabaseTypeNotSupported = 56,
  RemoteFuzzyDatabaseConnection = 57,
  FuzzyDatabaseUnreachable = 59,
  FuzzyDatabaseServerError = 60,
  UnknownError = 61,
  NoFuzzyDatabaseServer = 63,
  FieldCountMismatch = 64,
  PureVirtualCall = 68,  // described by its number
  LayoutClassifierNotLoaded = 69,
  NaturalLanguageProcessing = 72,
  UnexpectedUnicodeCharacter = 73,
  UnmatchedTextQualifier = 74,
  DelimiterNotSingleSymbol = 75,
  FuzzyDatabaseOnly = 76,
  PasswordDecryption = 77,
  NullPointer = 78,
  InvalidOperation = 79,

  // OutOfBoundsException.
  IndexOutOfRange = 8,

  // XMLFormatException.
  XmlNodeFormatNewerVersion = 9,  // a node is missing or malformed: written by a newer version
  XmlFileNewerVersion = 10,
  XmlDocumentTooLarge = 11,  // a document beyond the readers' bounds

  // UserCanceledException.
  ClassificationCanceled = 20,
  TrainingCanceled = 21,
  DirectoryParsingCanceled = 22,
  DocumentAnalysisCanceled = 23,

  // WinOperationException.
  WinOperationFailed = 100,

  // CollectionException.
  CollectionIndexOutOfRange = 1001,
  ItemIdNotFound = 1002,
  ItemNameNotFound = 1003,
  GuidNotFound = 1004,

  // FileIOException.
  FileFormatNotSupported = 25,
  FileWrite = 2001,
  FileCreate = 2002,
  FileOpen = 2003,
  FileRead = 2004,
  FileDelete = 2005,
  FileNotFound = 2006,

  // LockException.
  LockFileCreate = 3000,

  // XmlException.
  XmlNoOpenNode = 3001,
  XmlCloseNode = 3002,
  XmlFileAlreadyOpen = 3003,
  XmlFileStillOpen = 3004,
  XmlIllegalCharacters = 3005,
};

// Compares an id as BaseException::GetErrorId() returns it with a named id:
// `e.GetErrorId() == ErrorId::FileOpen`.
constexpr bool operator==(std::int32_t number, ErrorId id) {
  return number == static_cast<std::int32_t>(id);
}

}  // namespace Qel
