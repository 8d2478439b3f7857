#include "app/headless_printer.h"

#include "base/clock.h"
#include "base/program_text.h"

namespace parvolin::app {
namespace {

constexpr std::string_view kRecordingTail = "Recording";
constexpr std::string_view kRecordingOtherTail = "---------";

// The second phase of the recording line stands for the first: both mean "recording".
std::string stateOf(std::string_view statusText) {
  std::string state(statusText);
  if (state.size() >= kRecordingOtherTail.size() &&
      std::string_view(state).substr(state.size() - kRecordingOtherTail.size()) ==
          kRecordingOtherTail) {
    state.replace(state.size() - kRecordingOtherTail.size(), kRecordingOtherTail.size(),
                  kRecordingTail);
  }
  return state;
}

}  // namespace

std::string HeadlessPrinter::portLine(std::string_view time, int portIndex,
                                      std::string_view statusText, std::string_view detailText) {
  std::string line(time);
  line += "  Port ";
  line += std::to_string(portIndex + 1);
  if (portIndex + 1 < 10) line += ' ';
  line += " |";
  line += stateOf(statusText);
  line += " |";
  // The detail line is a caption and digits on two lines; one line here.
  for (const char c : detailText) line += c == '\n' ? ' ' : c;
  return line;
}

std::string HeadlessPrinter::now() {
  return base::localTimeText(clock_.wallSeconds(), base::kDateAndTimeFormat);
}

void HeadlessPrinter::showPort(int portIndex, std::string_view statusText,
                               std::string_view detailText) {
  if (portIndex < 0 || portIndex >= device::kMaxPorts) return;
  current_[std::size_t(portIndex)] = {stateOf(statusText), std::string(detailText)};
}

void HeadlessPrinter::showCapacity(const engine::CapacityDisplay& capacity) {
  capacityCurrent_ = capacity.itemsText + " " + capacity.spaceText;
  // Printed with the figures when they change; a change of the free space alone prints nothing.
  freeText_ = capacity.freeText;
}

void HeadlessPrinter::refresh() {
  if (!started_) return;
  for (int p = 0; p < device::kMaxPorts; ++p) {
    if (current_[std::size_t(p)].status != printed_[std::size_t(p)].status ||
        current_[std::size_t(p)].detail != printed_[std::size_t(p)].detail) {
      printPort(p);
    }
  }
  if (capacityCurrent_ != capacityPrinted_) printCapacity();
  std::fflush(out_);
}

void HeadlessPrinter::printPort(int portIndex) {
  printed_[std::size_t(portIndex)] = current_[std::size_t(portIndex)];
  const std::string line = portLine(now(), portIndex, current_[std::size_t(portIndex)].status,
                                    current_[std::size_t(portIndex)].detail);
  std::fprintf(out_, "%s\n", line.c_str());
}

void HeadlessPrinter::printCapacity() {
  capacityPrinted_ = capacityCurrent_;
  const std::string free = freeText_.empty() ? std::string() : ", " + freeText_;
  std::fprintf(out_, "%s  %s%s\n", now().c_str(), capacityCurrent_.c_str(), free.c_str());
}

void HeadlessPrinter::note(std::string_view text) {
  std::fprintf(out_, "%s  %.*s\n", now().c_str(), static_cast<int>(text.size()), text.data());
  std::fflush(out_);
}

void HeadlessPrinter::start(std::string_view heading, int shownPorts) {
  // The heading holds the recording folder, a text from the settings file.
  std::fprintf(out_, "%s\n", base::printable(heading).c_str());
  // Ports of the rows the window hides are never printed; their lines do not change.
  for (int p = 0; p < device::kMaxPorts; ++p) {
    if (p < shownPorts) {
      printPort(p);
    } else {
      printed_[std::size_t(p)] = current_[std::size_t(p)];
    }
  }
  printCapacity();
  started_ = true;
  std::fflush(out_);
}

}  // namespace parvolin::app
