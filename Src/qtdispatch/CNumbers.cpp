#include "qtdispatch/CNumbers.h"

#include <clocale>

namespace qtdispatch {

void KeepNumbersInCLocale() { std::setlocale(LC_NUMERIC, "C"); }

} // namespace qtdispatch
