// Port numbers, status bits and command bytes of the host channels, shared by
// the KBC/EC channel, the follow-mode tunnel and the bounded waits.
#pragma once

#include <stdint.h>

namespace hw {

// PC/AT keyboard controller.
constexpr uint16_t kKbcData = 0x60;
constexpr uint16_t kKbcStatus = 0x64;  // read: status, write: command
constexpr uint8_t kKbcOutputFull = 0x01;
constexpr uint8_t kKbcInputFull = 0x02;
constexpr uint8_t kKbcDisableKeyboard = 0xAD;
constexpr uint8_t kKbcEnableKeyboard = 0xAE;

// EC host interface; the status layout is the ACPI EC status register.
constexpr uint16_t kEcData = 0x62;
constexpr uint16_t kEcCommand = 0x66;  // read: status, write: command
constexpr uint8_t kEcObf = 0x01;
constexpr uint8_t kEcIbf = 0x02;

constexpr uint8_t kEcReadRam = 0x80;
constexpr uint8_t kEcEnterFlashMode = 0xDC;
constexpr uint8_t kEcPreEnter = 0xDD;
constexpr uint8_t kEcPreEnterAlt = 0xDE;
constexpr uint8_t kEcLeaveAndReset = 0xFE;
constexpr uint8_t kEcLeaveNoReset = 0xFC;

// Follow-mode sub-commands, written to 0x66 while the EC is in flash mode.
constexpr uint8_t kFollowBegin = 0x01;  // chip select on; ends an open transaction
constexpr uint8_t kFollowCommand = 0x02;
constexpr uint8_t kFollowData = 0x03;
constexpr uint8_t kFollowRead = 0x04;
constexpr uint8_t kFollowEnd = 0x05;  // chip select off

}  // namespace hw
