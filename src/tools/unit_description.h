#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "device/stream_record.h"

// Texts that pvtool prints about units: register values with their meaning, stream records.
namespace parvolin::tools {

std::string describeAudioMode(std::uint8_t value);
std::string describeCallerIdMode(std::uint8_t value);
std::string describeVarPorts(std::uint8_t value);
std::string describeVarThreshold(std::uint8_t value);
std::string describeVarTurnOffDelay(std::uint8_t value);
std::string describeVarTimeout(std::uint8_t value);
// The 33 version bytes in hex, and what bytes 13 and 15 allow.
std::string describeVersion(std::span<const std::uint8_t> version);

// The name of a stream event code ("Ringing", "Caller ID A", ...).
std::string unitEventName(std::uint8_t code);
// What a record carries besides its code: the caller number (table A) or the dialled digits
// (table B) with trailing spaces removed, or a digit event's digit. Empty for the others.
std::string recordDetail(const device::StreamRecord& record);

}  // namespace parvolin::tools
