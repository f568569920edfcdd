#include "app/option_table.h"

#include "tolvi.h"

namespace {

// EC RAM is 256 bytes; a longer version read would wrap onto itself.
constexpr int64_t kMaxVersionLength = 256;

template <auto Field>
bool bSetFlag(const OptionArgs&) {
  FlashState.*Field = 1;
  return true;
}

using F = FlashStateRecord;
using V = OptionValue;
constexpr AfterOption kOn = AfterOption::kScanOn;
constexpr AfterOption kEnds = AfterOption::kScanEnds;

}  // namespace

// clang-format off
const ProgramOption kProgramOptions[] = {
    {"S", V::kDecimal, kOn,
     [](const OptionArgs& v) {
       FlashState.SaveMode = 1;
       FlashState.FileSizeK = static_cast<int32_t>(v.number);
       return true;
     },
     u"tolvi /S 64", u"Save 64K of flash to XQRFW.bin"},
    // The file name is read at dispatch, from entry 2.
    {"c", V::kNone, kEnds, &bSetFlag<&F::ChecksumMode>,
     u"tolvi /c ec.bin", u"Show the 16-bit checksum of ec.bin"},
    {"BK", V::kNone, kOn, &bSetFlag<&F::BbkMode>, nullptr, nullptr},
    {"Mn", V::kNone, kOn, &bSetFlag<&F::MainMode>, nullptr, nullptr},
    {"Bp", V::kNone, kOn, &bSetFlag<&F::BackupMode>, nullptr, nullptr},
    {"PB", V::kNone, kOn, &bSetFlag<&F::ProtectMode>, nullptr, nullptr},
    {"T", V::kNone, kOn, &bSetFlag<&F::TestMode>,
     u"tolvi /T", u"Write test: erase 4K at 0, write 256 bytes of 88h"},
    {"O", V::kHexInPlace, kOn,
     [](const OptionArgs& v) {
       FlashState.StartOffset = v.number;
       return true;
     },
     nullptr, nullptr},
    {"j", V::kNone, kOn, &bSetFlag<&F::NoReset>, nullptr, nullptr},
    {"k", V::kNone, kOn, &bSetFlag<&F::SkipKbc>, nullptr, nullptr},
    {"e", V::kNone, kOn, &bSetFlag<&F::AltEnterMode>,
     u"tolvi ec.bin 64 /e", u"Flash, pre-entering with DEh instead of DDh"},
    // The /V family: every form ends the scan, the longer letters first.
    {"VBF", V::kText, kEnds,
     [](const OptionArgs& v) {
       FlashState.VersionMode = 1;
       FlashState.BramMode = 1;
       FlashState.BramFileMode = 1;
       FlashState.ImagePath = v.text;
       return true;
     },
     nullptr, nullptr},
    {"VB", V::kOptionalText, kEnds,
     [](const OptionArgs& v) {
       FlashState.VersionMode = 1;
       FlashState.BramMode = 1;
       FlashState.CompareVersion = v.text;
       return true;
     },
     nullptr, nullptr},
    {"VC", V::kNone, kEnds,
     [](const OptionArgs&) {
       FlashState.VersionMode = 1;
       FlashState.VersionStringMode = 1;
       return true;
     },
     u"tolvi /VC", u"Show the EC version string (EC RAM D8h-DFh)"},
    {"V", V::kHexThenDecimal, kEnds,
     [](const OptionArgs& v) {
       FlashState.VersionMode = 1;
       if (v.text == nullptr) return true;
       FlashState.VersionOffset = v.number;
       FlashState.VersionLength = v.second;
       return v.second >= 0 && v.second <= kMaxVersionLength;
     },
     nullptr, nullptr},
    {"D", V::kNone, kOn, &bSetFlag<&F::CompareMode>,
     u"tolvi ec.bin 64 /D", u"Compare the flash with ec.bin; write nothing"},
    {"U", V::kNone, kOn, &bSetFlag<&F::ChangedOnlyMode>,
     u"tolvi ec.bin 64 /U", u"Flash only the sectors that differ from ec.bin"},
    {"b", V::kText, kOn,
     [](const OptionArgs& v) {
       FlashState.BackupPath = v.text;
       return true;
     },
     u"tolvi ... /b old.bin", u"Save what the update erases to old.bin first"},
    {"F", V::kNone, kOn, &bSetFlag<&F::ForceImage>,
     u"tolvi ec.bin 64 /F", u"Flash ec.bin even if it looks like no firmware"},
};
// clang-format on

const size_t kProgramOptionCount = sizeof kProgramOptions / sizeof kProgramOptions[0];
