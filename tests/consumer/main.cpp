// Uses the installed QelBase through its umbrella header: converts text, throws and describes
// one of the library's exceptions, and checks the results.
#include <qel/qelbase.h>

#include <cstdio>

int main() {
  const std::u16string wide = Qel::ConvertUtf8ToWideChar(
      "Stra\xC3\x9F"
      "e");
  if (wide != u"Stra\u00DFe") {
    std::puts("consumer: UTF-8 conversion gave an unexpected result");
    return 1;
  }
  try {
    Qel::QelStringToInteger(u"abc");
    std::puts("consumer: expected an exception");
    return 1;
  } catch (const Qel::BaseException& e) {
    const std::string text = Qel::ConvertWideCharToUtf8(e.GetErrorDescription());
    if (text != "Invalid argument: Qel::QelStringToInteger(@0:'abc').") {
      std::printf("consumer: unexpected description: %s\n", text.c_str());
      return 1;
    }
    std::printf("consumer: %s\n", text.c_str());
  }
  std::puts("consumer: QelBase works from the installed package");
  return 0;
}
