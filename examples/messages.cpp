// Shows the library's error messages: raises a few failures and prints their descriptions
// in the language chosen for the process.
#include <qel/qelbase.h>

#include <cstdio>

namespace {
void Print(const Qel::BaseException& e) {
  std::printf("  [%d] %s\n", e.GetErrorId(),
              Qel::ConvertWideCharToUtf8(e.GetErrorDescription()).c_str());
}
}  // namespace

int main() {
  std::printf("Message language: %s\n",
              Qel::ConvertWideCharToUtf8(Qel::GetLibraryResMgr().GetLanguage()).c_str());
  for (const char16_t* text : {u"1,234,567", u"  -7", u"12a", u"99999999999"}) {
    try {
      std::printf("QelStringToInteger(\"%s\") = %d\n", Qel::ConvertWideCharToUtf8(text).c_str(),
                  Qel::QelStringToInteger(text));
    } catch (const Qel::BaseException& e) {
      std::printf("QelStringToInteger(\"%s\") failed:\n", Qel::ConvertWideCharToUtf8(text).c_str());
      Print(e);
    }
  }
  std::printf("Some descriptions:\n");
  Print(Qel::FileIOException(2003, u"/etc/missing.xml", Qel::GetErrorMessage(2)));
  Print(Qel::OutOfBoundsException(8, 5, 3));
  Print(Qel::UserCanceledException(20));
  return 0;
}
