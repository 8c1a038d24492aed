#pragma once
// Making a QApplication sets the C library's locale from the environment
// (setlocale(LC_ALL, "")). Under a comma-decimal locale every strtod, printf
// and stream of the program would then read "1.5" as 1 and print "1,5", in
// files, DDE values, dialogs and logs alike. Numbers in text are the same in
// every locale here: right after the application is made, LC_NUMERIC goes back
// to "C" (Qt's own QLocale keeps the user's).
namespace qtdispatch {

void KeepNumbersInCLocale();

} // namespace qtdispatch
