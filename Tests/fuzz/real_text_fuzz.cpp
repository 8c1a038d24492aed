// Reals in text, read with a dot whatever the locale: the scan never reads past its
// input, agrees with strtod in the "C" locale (which the fuzzer runs in), and a real
// printed with 17 digits or in fixed form reads back to itself.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/win/NumberText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const win::RealScan scan = win::ScanReal(text);
    FUZZ_CHECK(scan.length <= text.size());

    if (text.find('\0') == text.npos) {
        const std::string copy(text);
        char* end = nullptr;
        errno = 0;
        const double reference = std::strtod(copy.c_str(), &end);
        FUZZ_CHECK(scan.length == static_cast<std::size_t>(end - copy.c_str()));
        FUZZ_CHECK(std::isnan(reference) ? std::isnan(scan.value) : scan.value == reference);
        // strtod also calls a subnormal result out of range; the scan keeps it.
        if (std::fpclassify(reference) != FP_SUBNORMAL)
            FUZZ_CHECK(scan.outOfRange == (errno == ERANGE));
    }

    if (std::isfinite(scan.value)) {
        const std::string general = win::GeneralText(scan.value, 17);
        FUZZ_CHECK(win::ScanReal(general).value == scan.value && win::ScanReal(general).length == general.size());
        const std::string fixed = win::FixedText(scan.value);
        FUZZ_CHECK(win::ScanReal(fixed).length == fixed.size());
        FUZZ_CHECK(fixed.find(',') == fixed.npos);
    }
    return 0;
}
