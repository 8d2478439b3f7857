#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>

#include "base/clock.h"
#include "device/ftdi_d2xx.h"
#include "device/unit_link.h"
#include "device/vendor_d2xx.h"

namespace parvolin::device {
namespace {

std::array<std::uint32_t, 4> presentFlags(const UnitLink& link) {
  std::array<std::uint32_t, 4> flags{};
  for (int u = 0; u < 4; ++u) flags[u] = link.isPresent(u) ? 1 : 0;
  return flags;
}

// Every call on a handle that was never opened fails with a status.
void expectUnopenedHandlesFail(D2xx& d2xx) {
  for (D2xx::Handle h : {D2xx::Handle{0}, D2xx::Handle{1}, D2xx::Handle{0xFFFF'FFFF}}) {
    std::array<std::uint8_t, 8> bytes{};
    std::uint32_t n = 99;
    EXPECT_NE(d2xx.purge(h, D2xx::kPurgeRx | D2xx::kPurgeTx), D2xx::kOk);
    EXPECT_NE(d2xx.setTimeouts(h, 1, 0), D2xx::kOk);
    EXPECT_NE(d2xx.queueStatus(h, n), D2xx::kOk);
    EXPECT_NE(d2xx.read(h, bytes.data(), bytes.size(), n), D2xx::kOk);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(d2xx.write(h, bytes.data(), bytes.size(), n), D2xx::kOk);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(d2xx.close(h), D2xx::kOk);
  }
}

// Without hardware (and possibly without USB at all) the listing is empty or a clean error that
// says why, and opening fails.
TEST(FtdiD2xx, WithoutUnitsListsNothingOrSaysWhyAndOpensNothing) {
  FtdiD2xx d2xx;
  std::uint32_t count = 99;
  const D2xx::Status status = d2xx.listCount(count);
  if (status == D2xx::kOk) {
    EXPECT_EQ(count, 0u);
  } else {
    EXPECT_FALSE(d2xx.lastError().empty());
  }
  std::string serial = "unchanged";
  EXPECT_NE(d2xx.listSerial(0, serial), D2xx::kOk);
  D2xx::Handle handle = 0;
  EXPECT_NE(d2xx.openBySerial("PV000001", handle), D2xx::kOk);
  EXPECT_NE(d2xx.openBySerial("", handle), D2xx::kOk);
  expectUnopenedHandlesFail(d2xx);

  base::VirtualClock clock;
  UnitLink link(d2xx, clock);
  EXPECT_FALSE(link.openAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{}));
}

TEST(FtdiD2xx, ListsTheFtdiIdsAndTheExtraOnesOnce) {
  FtdiD2xx d2xx({{0x1234, 0x5678}, {0x0403, 0x6001}});
  const auto& ids = d2xx.usbIds();
  ASSERT_EQ(ids.size(), 6u);
  EXPECT_EQ(ids.front(), (FtdiD2xx::UsbId{0x0403, 0x6001}));
  EXPECT_EQ(ids[4], (FtdiD2xx::UsbId{0x0403, 0x6015}));
  EXPECT_EQ(ids.back(), (FtdiD2xx::UsbId{0x1234, 0x5678}));
}

TEST(VendorD2xx, MissingLibraryIsReportedAndActsAsNoUnit) {
  VendorD2xx d2xx("/nonexistent/libftd2xx.so");
  EXPECT_FALSE(d2xx.loaded());
  std::uint32_t count = 99;
  EXPECT_NE(d2xx.listCount(count), D2xx::kOk);
  EXPECT_EQ(count, 0u);
  EXPECT_NE(d2xx.lastError().find("/nonexistent/libftd2xx.so"), std::string::npos);
  D2xx::Handle handle = 0;
  EXPECT_NE(d2xx.openBySerial("PV000001", handle), D2xx::kOk);
  expectUnopenedHandlesFail(d2xx);

  base::VirtualClock clock;
  UnitLink link(d2xx, clock);
  EXPECT_FALSE(link.openAll());
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{}));
}

TEST(VendorD2xx, LibraryWithoutTheCallsIsNotUsed) {
  VendorD2xx d2xx("libc.so.6");
  EXPECT_FALSE(d2xx.loaded());
  EXPECT_NE(d2xx.lastError().find("FT_ListDevices"), std::string::npos);
  std::uint32_t count = 0;
  EXPECT_NE(d2xx.listCount(count), D2xx::kOk);
}

}  // namespace
}  // namespace parvolin::device

namespace parvolin::device {
namespace {

// The vendor backend binds the library's calls by name and passes their arguments through.
TEST(VendorD2xx, DrivesUnitsThroughTheLoadedLibrary) {
  VendorD2xx d2xx(PARVOLIN_FAKE_FTD2XX);
  ASSERT_TRUE(d2xx.loaded()) << d2xx.lastError();
  base::VirtualClock clock;
  UnitLink link(d2xx, clock);
  ASSERT_TRUE(link.openAll());
  // The second unit's serial number has ten characters: it is passed over.
  EXPECT_EQ(presentFlags(link), (std::array<std::uint32_t, 4>{1, 0, 0, 0}));
  EXPECT_EQ(link.serial(0), "VF000001");
  EXPECT_FALSE(link.isListed(1));

  EXPECT_EQ(link.readUnitNumber(0), 0x13121110u);

  const D2xx::Handle h = link.handle(0);
  ASSERT_TRUE(link.closeAll());
  std::uint32_t waiting = 0;
  EXPECT_EQ(d2xx.queueStatus(h, waiting), D2xx::kInvalidHandle);
  EXPECT_EQ(d2xx.close(h), D2xx::kInvalidHandle);
  EXPECT_TRUE(link.openAll());  // the library saw the close
  EXPECT_TRUE(link.closeAll());
}

// A unit that answers no command must not hang the recorder: the library has no read time-out
// of its own, and openAll sends its first command before the drain sets the run's time-outs.
TEST(VendorD2xx, DeafUnitDoesNotHangTheOpen) {
  VendorD2xx d2xx(PARVOLIN_FAKE_FTD2XX);
  ASSERT_TRUE(d2xx.loaded()) << d2xx.lastError();
  void* library = dlopen(PARVOLIN_FAKE_FTD2XX, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr);
  auto setSilent = reinterpret_cast<void (*)(int)>(dlsym(library, "FakeFtd2xxSetSilent"));
  auto hungReads = reinterpret_cast<int (*)()>(dlsym(library, "FakeFtd2xxReadsWaitingForEver"));
  ASSERT_TRUE(setSilent && hungReads);

  setSilent(1);
  const int before = hungReads();
  base::VirtualClock clock;
  UnitLink link(d2xx, clock);
  EXPECT_TRUE(link.openAll());
  EXPECT_FALSE(link.readStreamControl(0));
  EXPECT_EQ(hungReads(), before);
  EXPECT_TRUE(link.closeAll());
  setSilent(0);
  dlclose(library);
}

}  // namespace
}  // namespace parvolin::device
