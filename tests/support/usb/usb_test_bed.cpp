#include "support/usb/usb_test_bed.h"

#include <sys/ioctl.h>
// after sys/ioctl.h, whose macros it uses
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>

#include <unistd.h>

#include "base/clock.h"
#include "sim/scenario.h"

namespace parvolin::test {

namespace {

// Requests of the chip (vendor requests, as libftdi's ftdi.h numbers them).
constexpr std::uint8_t kSioReset = 0x00;
constexpr std::uint8_t kSioPollModemStatus = 0x05;
constexpr std::uint8_t kSioSetLatencyTimer = 0x09;
constexpr std::uint8_t kSioGetLatencyTimer = 0x0A;
constexpr std::uint8_t kSioReadPins = 0x0C;
constexpr std::uint8_t kSioReadEeprom = 0x90;
// Values of the reset request: the chip's reset, and the flushes of what waits for the host
// (input) and of what the host sent that the chip has not passed on (output).
constexpr std::uint16_t kResetChip = 0;
constexpr std::uint16_t kFlushOutput = 1;
constexpr std::uint16_t kFlushInput = 2;

constexpr std::uint8_t kEndpointIn = 0x81;
constexpr std::uint8_t kEndpointOut = 0x02;
constexpr std::size_t kSetupSize = 8;

// Capabilities of the kernel's USB interface that libusb asks for: bulk transfers of any size
// in one URB, and URBs that can be reaped after the device left.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

constexpr const char* kPreload = "libumockdev-preload.so.0";

// A sanitizer build's programs start with the preload library ahead of the sanitizer's run-time,
// which the sanitizer refuses unless told that this order is meant.
std::string asanOptions() {
  const char* options = std::getenv("ASAN_OPTIONS");
  std::string text = options != nullptr ? options : "";
  if (text.find("verify_asan_link_order") == std::string::npos) {
    if (!text.empty()) text += ':';
    text += "verify_asan_link_order=0";
  }
  return text;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char two[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02X", b);
    text += two;
  }
  return text;
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// The device, configuration, interface and endpoint descriptors of a full-speed chip with one
// serial interface, as the kernel's sysfs "descriptors" file holds them.
std::vector<std::uint8_t> descriptors() {
  std::vector<std::uint8_t> d = {18, 1};
  put16(d, 0x0200);  // USB 2.0
  d.insert(d.end(), {0, 0, 0, 8});
  put16(d, UsbTestBed::kVendorId);
  put16(d, UsbTestBed::kProductId);
  put16(d, 0x0600);  // bcdDevice: the chip type libftdi reads from it
  d.insert(d.end(), {1, 2, 3, 1});
  d.insert(d.end(), {9, 2});
  put16(d, 32);
  d.insert(d.end(), {1, 1, 0, 0xA0, 45});
  d.insert(d.end(), {9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 2});
  d.insert(d.end(), {7, 5, kEndpointIn, 2});
  put16(d, UsbTestBed::kMaxPacketSize);
  d.push_back(0);
  d.insert(d.end(), {7, 5, kEndpointOut, 2});
  put16(d, UsbTestBed::kMaxPacketSize);
  d.push_back(0);
  return d;
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
  std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
  for (char c : text) put16(d, static_cast<std::uint8_t>(c));
  return d;
}

struct Urb {
  gulong clientAddress = 0;  // of the usbdevfs_urb in the program
  std::uint8_t type = 0;
  std::uint8_t endpoint = 0;
  int bufferLength = 0;
  std::int64_t submittedMs = 0;
  int status = 0;
  // What the chip puts into the buffer, from `offset` on; the transfer's length.
  std::vector<std::uint8_t> data;
  std::size_t offset = 0;
  int actualLength = 0;
};

}  // namespace

struct UsbTestBed::Model {
  struct Device {
    Model* model = nullptr;
    std::string serial;
    sim::EmulatedUnit* unit = nullptr;
    bool present = false;
    int devnum = 0;
    int port = 0;
    std::string syspath;
    std::string devnode;
    UMockdevIoctlBase* handler = nullptr;
    std::uint8_t latencyMs = kDefaultLatencyMs;
    std::int64_t lastInPacketMs = 0;
    std::deque<Urb> pendingIn;
    std::deque<Urb> completed;
    std::vector<UMockdevIoctlClient*> heldReaps;
    std::vector<UsbControlRequest> requests;
    std::vector<std::uint8_t> failRequests;
    bool inHalted = false;  // the bulk IN endpoint, until a CLEAR_FEATURE(ENDPOINT_HALT)
    int haltsCleared = 0;
    int cutsDue = 0;
    std::uint64_t toUnit = 0;
    std::uint64_t fromUnit = 0;
    std::uint64_t packets = 0;
    int opens = 0;
  };

  UMockdevTestbed* testbed = nullptr;
  base::SystemClock clock;
  std::vector<std::unique_ptr<sim::EmulatedUnit>> units;
  std::vector<std::unique_ptr<Device>> devices;
  std::vector<UMockdevIoctlBase*> retiredHandlers;
  mutable std::mutex mutex;
  GSource* ticker = nullptr;
  bool closing = false;  // the bed is going: ticks and requests change nothing any more
  int nextDevnum = 2;
  sim::Scenario scenario;
  std::vector<sim::EmulatedUnit*> scenarioUnits;  // added, their events not yet scheduled
  std::int64_t addedMs = 0;

  Device& find(const std::string& serial) {
    for (auto& d : devices) {
      if (d->serial == serial) return *d;
    }
    throw std::invalid_argument("no device " + serial + " on the test bed");
  }
  const Device& find(const std::string& serial) const {
    return const_cast<Model*>(this)->find(serial);
  }

  void plug(Device& d);
  void playScenario();
  void unplug(Device& d);
  void startTicker();
  static gboolean tick(gpointer self);
  void tickDevice(Device& d, std::int64_t now);
  bool handle(Device& d, UMockdevIoctlClient* client);
  void submit(Device& d, UMockdevIoctlClient* client);
  void control(Device& d, Urb& urb, const std::uint8_t* setup);
  bool fillIn(Device& d, Urb& urb, std::int64_t now, bool force);
  void reap(Device& d, UMockdevIoctlClient* client);
  static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device);
  static void onConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer device);
};

namespace {

void finish(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
}

// The ioctl's argument resolved as a structure of `size` bytes in the program's memory.
UMockdevIoctlData* argument(UMockdevIoctlClient* client, std::size_t size) {
  GError* error = nullptr;
  UMockdevIoctlData* data =
      umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, &error);
  if (error != nullptr) g_error_free(error);
  return data;
}

}  // namespace

void UsbTestBed::Model::plug(Device& d) {
  d.devnum = nextDevnum++;
  char node[64];
  std::snprintf(node, sizeof node, "bus/usb/001/%03d", d.devnum);
  d.devnode = std::string("/dev/") + node;
  d.syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(d.port);
  char ids[64];
  std::snprintf(ids, sizeof ids, "%04x/%04x/600", kVendorId, kProductId);
  const std::string text =
      "P: /devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(d.port) + "\n" + "N: " + node +
      "\n" + "E: DEVNAME=" + d.devnode +
      "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n" + "E: PRODUCT=" + ids +
      "\nE: BUSNUM=001\nE: DEVNUM=" + std::string(node + 12) + "\n" +
      "E: ID_SERIAL_SHORT=" + d.serial + "\nE: MAJOR=189\nE: MINOR=" + std::to_string(d.devnum) +
      "\n" + "A: busnum=1\nA: devnum=" + std::to_string(d.devnum) + "\nA: speed=12\n" +
      "A: idVendor=0403\nA: idProduct=6001\nA: bcdDevice=0600\nA: serial=" + d.serial + "\n" +
      "A: manufacturer=Parvolin\nA: product=Recorder unit\nA: bConfigurationValue=1\n" +
      "A: bNumConfigurations=1\nA: bNumInterfaces= 1\nA: dev=189:" + std::to_string(d.devnum) +
      "\nH: descriptors=" + hexBytes(descriptors()) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, text.c_str(), &error)) {
    const std::string why = error ? error->message : "?";
    if (error) g_error_free(error);
    throw std::runtime_error("test bed: cannot add device " + d.serial + ": " + why);
  }
  d.handler = umockdev_ioctl_base_new();
  g_signal_connect(d.handler, "handle-ioctl", G_CALLBACK(&Model::onIoctl), &d);
  g_signal_connect(d.handler, "client-connected", G_CALLBACK(&Model::onConnected), &d);
  if (!umockdev_testbed_attach_ioctl(testbed, d.devnode.c_str(), d.handler, &error)) {
    if (error) g_error_free(error);
    throw std::runtime_error("test bed: cannot attach to " + d.devnode);
  }
  d.present = true;
  d.latencyMs = kDefaultLatencyMs;
  // Adding the device sent its "add" uevent (the process runs under the preload library).
}

void UsbTestBed::Model::unplug(Device& d) {
  if (!d.present) return;
  d.present = false;
  umockdev_testbed_uevent(testbed, d.syspath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed, d.syspath.c_str());
  GError* error = nullptr;
  umockdev_testbed_detach_ioctl(testbed, d.devnode.c_str(), &error);
  if (error) g_error_free(error);
  // Programs that hold the node open still talk to this handler: it stays until the end.
  retiredHandlers.push_back(d.handler);
  d.handler = nullptr;
  // The kernel gives back every URB of a device that left, failed; they can still be reaped.
  for (Urb& urb : d.pendingIn) {
    urb.status = -ESHUTDOWN;
    urb.actualLength = 0;
    urb.data.clear();
    d.completed.push_back(urb);
  }
  d.pendingIn.clear();
}

void UsbTestBed::Model::onConnected(UMockdevIoctlBase*, UMockdevIoctlClient*, gpointer device) {
  auto& d = *static_cast<Device*>(device);
  std::lock_guard lock(d.model->mutex);
  ++d.opens;
  d.model->startTicker();
}

void UsbTestBed::Model::startTicker() {
  if (ticker != nullptr) return;
  // The worker thread's own context: the ticks run beside the ioctl handlers, never at once.
  ticker = g_timeout_source_new(1);
  g_source_set_callback(ticker, &Model::tick, this, nullptr);
  g_source_attach(ticker, g_main_context_get_thread_default());
}

gboolean UsbTestBed::Model::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client,
                                    gpointer device) {
  auto& d = *static_cast<Device*>(device);
  std::lock_guard lock(d.model->mutex);
  if (d.model->closing) {
    finish(client, -1, ENODEV);
    return TRUE;
  }
  return d.model->handle(d, client) ? TRUE : FALSE;
}

gboolean UsbTestBed::Model::tick(gpointer self) {
  auto* model = static_cast<Model*>(self);
  std::lock_guard lock(model->mutex);
  // A tick that was already under way when the bed began to go.
  if (model->closing) return G_SOURCE_REMOVE;
  const std::int64_t now = model->clock.monotonicMs();
  for (auto& d : model->devices) model->tickDevice(*d, now);
  return G_SOURCE_CONTINUE;
}

void UsbTestBed::Model::tickDevice(Device& d, std::int64_t now) {
  // A unit whose scenario unplugs or replugs it takes its device along.
  d.unit->advance();
  if (d.present && !d.unit->plugged()) unplug(d);
  if (!d.present && d.unit->plugged()) plug(d);
  while (!d.pendingIn.empty() && fillIn(d, d.pendingIn.front(), now, false)) {
    d.completed.push_back(std::move(d.pendingIn.front()));
    d.pendingIn.pop_front();
  }
  // Reaps held since the last tick: a completed URB, or "nothing yet".
  std::vector<UMockdevIoctlClient*> held;
  held.swap(d.heldReaps);
  for (UMockdevIoctlClient* client : held) {
    if (!d.completed.empty() || !d.present) {
      reap(d, client);
    } else {
      finish(client, -1, EAGAIN);
    }
    g_object_unref(client);
  }
}

// Fills an IN URB from the unit when the chip would send now: when the URB's packets can be
// filled, or when the latency timer ran out (then with what there is, maybe only the status).
bool UsbTestBed::Model::fillIn(Device& d, Urb& urb, std::int64_t now, bool force) {
  const std::size_t packets = std::max<std::size_t>(1, urb.bufferLength / kMaxPacketSize);
  const std::size_t room = packets * (kMaxPacketSize - 2);
  const std::size_t readable = d.unit->readable();
  if (d.inHalted) {
    // A halted endpoint fails every transfer at once, until the host clears the halt.
    urb.status = -EPIPE;
    urb.actualLength = 0;
    return true;
  }
  const bool timerRanOut = now - std::max(urb.submittedMs, d.lastInPacketMs) >= d.latencyMs;
  if (!force && readable < room && !timerRanOut) return false;
  urb.data.clear();
  if (d.cutsDue > 0) {
    // A packet cut after the first status byte; the unit's bytes wait for the next transfer.
    --d.cutsDue;
    urb.data.push_back(kModemStatus0);
    ++d.packets;
  } else {
    std::vector<std::uint8_t> payload(std::min(readable, room));
    payload.resize(d.unit->take(payload.data(), payload.size()));
    d.fromUnit += payload.size();
    std::size_t at = 0;
    do {
      const std::size_t n = std::min<std::size_t>(kMaxPacketSize - 2, payload.size() - at);
      urb.data.push_back(kModemStatus0);
      urb.data.push_back(kModemStatus1);
      urb.data.insert(urb.data.end(), payload.begin() + at, payload.begin() + at + n);
      at += n;
      ++d.packets;
      // A full packet that ends the data is followed by a short one: the end of the transfer.
      if (at == payload.size() && n == kMaxPacketSize - 2 &&
          urb.data.size() + 2 <= static_cast<std::size_t>(urb.bufferLength)) {
        urb.data.push_back(kModemStatus0);
        urb.data.push_back(kModemStatus1);
        ++d.packets;
      }
    } while (at < payload.size());
  }
  urb.status = 0;
  urb.offset = 0;
  urb.actualLength = static_cast<int>(urb.data.size());
  d.lastInPacketMs = now;
  return true;
}

bool UsbTestBed::Model::handle(Device& d, UMockdevIoctlClient* client) {
  const gulong request = umockdev_ioctl_client_get_request(client);
  if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    if (!d.completed.empty() || !d.present) {
      reap(d, client);
    } else {
      // Held until the next tick, so that libusb's poll loop on the node (always ready, a plain
      // file) waits a millisecond at a time instead of spinning.
      d.heldReaps.push_back(G_TYPE_CHECK_INSTANCE_CAST(
          g_object_ref(client), umockdev_ioctl_client_get_type(), UMockdevIoctlClient));
    }
    return true;
  }
  if (!d.present) {
    finish(client, -1, ENODEV);
    return true;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* data = argument(client, sizeof(std::uint32_t));
      if (data == nullptr) return false;
      std::memcpy(data->data, &kCapabilities, sizeof kCapabilities);
      g_object_unref(data);
      finish(client, 0, 0);
      return true;
    }
    case USBDEVFS_SUBMITURB:
      submit(d, client);
      return true;
    case USBDEVFS_DISCARDURB: {
      const gulong address =
          *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
      auto it = std::find_if(d.pendingIn.begin(), d.pendingIn.end(),
                             [&](const Urb& u) { return u.clientAddress == address; });
      if (it == d.pendingIn.end()) {
        finish(client, -1, EINVAL);
        return true;
      }
      Urb urb = *it;
      d.pendingIn.erase(it);
      urb.status = -ENOENT;
      urb.actualLength = 0;
      urb.data.clear();
      d.completed.push_back(std::move(urb));
      finish(client, 0, 0);
      return true;
    }
    case USBDEVFS_IOCTL:  // detaching the kernel's driver: there is none
    case USBDEVFS_GETDRIVER:
      finish(client, -1, ENODATA);
      return true;
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT: {
      UMockdevIoctlData* data = argument(client, sizeof(unsigned int));
      if (data == nullptr) return false;
      unsigned int endpoint = 0;
      std::memcpy(&endpoint, data->data, sizeof endpoint);
      g_object_unref(data);
      if (endpoint == kEndpointIn && d.inHalted) {
        d.inHalted = false;
        ++d.haltsCleared;
      }
      finish(client, 0, 0);
      return true;
    }
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_RESET:
      finish(client, 0, 0);
      return true;
    default:
      finish(client, -1, ENOTTY);
      return true;
  }
}

void UsbTestBed::Model::submit(Device& d, UMockdevIoctlClient* client) {
  Urb urb;
  urb.clientAddress = *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
  UMockdevIoctlData* data = argument(client, sizeof(usbdevfs_urb));
  if (data == nullptr) {
    finish(client, -1, EFAULT);
    return;
  }
  const auto* k = reinterpret_cast<const usbdevfs_urb*>(data->data);
  urb.type = k->type;
  urb.endpoint = k->endpoint;
  urb.bufferLength = k->buffer_length;
  urb.submittedMs = clock.monotonicMs();
  UMockdevIoctlData* buffer = nullptr;
  const bool outData = urb.type == USBDEVFS_URB_TYPE_CONTROL ||
                       (urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEndpointOut);
  if (outData && urb.bufferLength > 0) {
    GError* error = nullptr;
    buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                         static_cast<std::size_t>(urb.bufferLength), &error);
    if (error) g_error_free(error);
  }
  int result = 0;
  int error = 0;
  if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
    if (buffer == nullptr || urb.bufferLength < static_cast<int>(kSetupSize)) {
      result = -1;
      error = EINVAL;
    } else {
      control(d, urb, buffer->data);
      d.completed.push_back(std::move(urb));
    }
  } else if (urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEndpointOut) {
    if (buffer != nullptr) {
      d.unit->receive(std::span<const std::uint8_t>(buffer->data, urb.bufferLength));
      d.toUnit += static_cast<std::uint64_t>(urb.bufferLength);
    }
    urb.actualLength = urb.bufferLength;
    d.completed.push_back(std::move(urb));
  } else if (urb.type == USBDEVFS_URB_TYPE_BULK && urb.endpoint == kEndpointIn) {
    d.pendingIn.push_back(std::move(urb));
  } else {
    result = -1;
    error = EINVAL;
  }
  if (buffer != nullptr) g_object_unref(buffer);
  g_object_unref(data);
  finish(client, result, error);
}

void UsbTestBed::Model::control(Device& d, Urb& urb, const std::uint8_t* setup) {
  UsbControlRequest r;
  r.requestType = setup[0];
  r.request = setup[1];
  r.value = static_cast<std::uint16_t>(setup[2] | setup[3] << 8);
  r.index = static_cast<std::uint16_t>(setup[4] | setup[5] << 8);
  r.length = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
  urb.offset = kSetupSize;
  urb.status = 0;
  const bool vendor = (r.requestType & 0x60) == 0x40;
  std::vector<std::uint8_t> answer;
  if (vendor) {
    d.requests.push_back(r);
    auto failing = std::find(d.failRequests.begin(), d.failRequests.end(), r.request);
    if (failing != d.failRequests.end()) {
      d.failRequests.erase(failing);
      urb.status = -EPIPE;
      urb.actualLength = 0;
      return;
    }
    switch (r.request) {
      case kSioReset:
        if (r.value == kFlushInput) d.unit->purgeReceiveSide();
        if (r.value == kFlushOutput) d.unit->purgeTransmitSide();
        if (r.value == kResetChip) d.lastInPacketMs = 0;
        break;
      case kSioSetLatencyTimer:
        d.latencyMs = static_cast<std::uint8_t>(std::max<std::uint16_t>(1, r.value & 0xFF));
        break;
      case kSioGetLatencyTimer:
        answer = {d.latencyMs};
        break;
      case kSioPollModemStatus:
        answer = {kModemStatus0, kModemStatus1};
        break;
      case kSioReadPins:
        answer = {0xFF};
        break;
      case kSioReadEeprom:
        answer = {0xFF, 0xFF};
        break;
      default:  // baud rate, line settings, flow control, bit mode, modem lines: taken
        break;
    }
  } else if (r.requestType == 0x80 && r.request == 6) {  // GET_DESCRIPTOR
    const std::uint8_t type = static_cast<std::uint8_t>(r.value >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(r.value & 0xFF);
    const std::vector<std::uint8_t> all = descriptors();
    if (type == 1) {
      answer.assign(all.begin(), all.begin() + 18);
    } else if (type == 2) {
      answer.assign(all.begin() + 18, all.end());
    } else if (type == 3 && index == 0) {
      answer = {4, 3, 0x09, 0x04};  // English (US)
    } else if (type == 3 && index == 1) {
      answer = stringDescriptor("Parvolin");
    } else if (type == 3 && index == 2) {
      answer = stringDescriptor("Recorder unit");
    } else if (type == 3 && index == 3) {
      answer = stringDescriptor(d.serial);
    } else {
      urb.status = -EPIPE;
      return;
    }
  } else if (r.requestType == 0x80 && r.request == 8) {  // GET_CONFIGURATION
    answer = {1};
  } else if (r.requestType == 0x80 && r.request == 0) {  // GET_STATUS
    answer = {0, 0};
  }
  if (r.requestType & 0x80) {
    answer.resize(std::min<std::size_t>(answer.size(), r.length));
    urb.data = answer;
    urb.actualLength = static_cast<int>(answer.size());
  } else {
    urb.actualLength = r.length;
  }
}

// Hands the first completed URB to the program: its pointer, status and length, and the bytes
// the chip put into its buffer. ENODEV once a device that left has none left.
void UsbTestBed::Model::reap(Device& d, UMockdevIoctlClient* client) {
  if (d.completed.empty()) {
    finish(client, -1, d.present ? EAGAIN : ENODEV);
    return;
  }
  Urb urb = std::move(d.completed.front());
  d.completed.pop_front();
  UMockdevIoctlData* slot = argument(client, sizeof(gulong));
  if (slot == nullptr) {
    finish(client, -1, EFAULT);
    return;
  }
  *reinterpret_cast<gulong*>(slot->data) = urb.clientAddress;
  GError* error = nullptr;
  UMockdevIoctlData* k = umockdev_ioctl_data_resolve(slot, 0, sizeof(usbdevfs_urb), &error);
  if (error) g_error_free(error);
  if (k != nullptr) {
    auto* u = reinterpret_cast<usbdevfs_urb*>(k->data);
    u->status = urb.status;
    u->actual_length = urb.actualLength;
    if (!urb.data.empty() && urb.bufferLength > 0) {
      UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
          k, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(urb.bufferLength), &error);
      if (error) g_error_free(error);
      if (buffer != nullptr) {
        const std::size_t n = std::min<std::size_t>(
            urb.data.size(), static_cast<std::size_t>(urb.bufferLength) - urb.offset);
        std::memcpy(buffer->data + urb.offset, urb.data.data(), n);
        g_object_unref(buffer);
      }
    }
    g_object_unref(k);
  }
  g_object_unref(slot);
  finish(client, 0, 0);
}

bool UsbTestBed::runsUnderPreload() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

void UsbTestBed::restartUnderPreload(char** argv) {
  setenv("LD_PRELOAD", kPreload, 1);
  setenv("ASAN_OPTIONS", asanOptions().c_str(), 1);
  execv("/proc/self/exe", argv);
  std::perror("cannot run the tests again under libumockdev-preload");
}

UsbTestBed::UsbTestBed() : model_(std::make_unique<Model>()) {
  model_->testbed = umockdev_testbed_new();
  if (model_->testbed == nullptr) throw std::runtime_error("umockdev test bed not made");
}

UsbTestBed::~UsbTestBed() {
  {
    std::lock_guard lock(model_->mutex);
    for (auto& d : model_->devices) {
      for (UMockdevIoctlClient* client : d->heldReaps) {
        finish(client, -1, ENODEV);
        g_object_unref(client);
      }
      d->heldReaps.clear();
    }
    model_->closing = true;
    if (model_->ticker != nullptr) {
      g_source_destroy(model_->ticker);
      g_source_unref(model_->ticker);
    }
  }
  g_object_unref(model_->testbed);
  for (auto& d : model_->devices) {
    if (d->handler != nullptr) g_object_unref(d->handler);
  }
  for (UMockdevIoctlBase* h : model_->retiredHandlers) g_object_unref(h);
}

std::filesystem::path UsbTestBed::root() const {
  return umockdev_testbed_get_root_dir(model_->testbed);
}

std::map<std::string, std::string> UsbTestBed::env() const {
  return {
      {"LD_PRELOAD", kPreload}, {"UMOCKDEV_DIR", root().string()}, {"ASAN_OPTIONS", asanOptions()}};
}

sim::EmulatedUnit& UsbTestBed::addUnit(sim::UnitConfig config) {
  return addUnitAt(std::move(config), static_cast<int>(model_->devices.size()) + 1);
}

sim::EmulatedUnit& UsbTestBed::addUnitAt(sim::UnitConfig config, int port) {
  std::lock_guard lock(model_->mutex);
  auto unit = std::make_unique<sim::EmulatedUnit>(std::move(config), model_->clock,
                                                  model_->clock.monotonicMs());
  auto d = std::make_unique<Model::Device>();
  d->model = model_.get();
  d->serial = unit->serial();
  d->unit = unit.get();
  d->port = port;
  // A unit that a scenario plugs in later comes when it is plugged in (a tick sees it).
  if (unit->plugged()) model_->plug(*d);
  model_->units.push_back(std::move(unit));
  model_->devices.push_back(std::move(d));
  return *model_->units.back();
}

void UsbTestBed::addScenario(const sim::Scenario& scenario, bool play) {
  // libusb lists the devices of a bus from the highest port down: the first unit goes on the
  // highest port, so that the listing has the scenario's order, as the emulated driver's does.
  const int first = static_cast<int>(model_->devices.size());
  const int count = static_cast<int>(scenario.units.size());
  std::vector<sim::EmulatedUnit*> added;
  for (int i = 0; i < count; ++i) {
    added.push_back(
        &addUnitAt(scenario.units[static_cast<std::size_t>(i)].config, first + count - i));
  }
  std::lock_guard lock(model_->mutex);
  model_->scenario = scenario;
  model_->scenarioUnits = added;
  model_->addedMs = model_->clock.monotonicMs();
  if (play) model_->playScenario();
}

void UsbTestBed::playScenario() {
  std::lock_guard lock(model_->mutex);
  model_->playScenario();
}

void UsbTestBed::Model::playScenario() {
  // Scenario time counts from the units' plugging in: the events are moved by the time since.
  const std::int64_t shift = clock.monotonicMs() - addedMs;
  for (std::size_t i = 0; i < scenarioUnits.size(); ++i) {
    const sim::UnitDeclaration& declared = scenario.units[i];
    if (declared.randomCalls) {
      scenarioUnits[i]->enableRandomCalls(
          declared.randomSeed, declared.randomFromMs + shift,
          declared.randomUntilMs == sim::kNever ? sim::kNever : declared.randomUntilMs + shift);
    }
  }
  for (const sim::ScenarioEvent& e : scenario.events) {
    if (e.unit >= scenarioUnits.size()) continue;
    sim::SimEvent event = e.event;
    event.atMs += shift;
    scenarioUnits[e.unit]->schedule(event);
  }
  scenarioUnits.clear();
}

void UsbTestBed::unplug(const std::string& serial) {
  std::lock_guard lock(model_->mutex);
  Model::Device& d = model_->find(serial);
  d.unit->unplug();
  model_->unplug(d);
}

void UsbTestBed::replug(const std::string& serial, int port) {
  std::lock_guard lock(model_->mutex);
  Model::Device& d = model_->find(serial);
  if (port != 0 && !d.present) d.port = port;
  d.unit->replug();
  if (!d.present) model_->plug(d);
}

void UsbTestBed::failControlRequest(const std::string& serial, std::uint8_t request) {
  std::lock_guard lock(model_->mutex);
  model_->find(serial).failRequests.push_back(request);
}

void UsbTestBed::stallBulkIn(const std::string& serial) {
  std::lock_guard lock(model_->mutex);
  model_->find(serial).inHalted = true;
}

void UsbTestBed::cutShortBulkIn(const std::string& serial) {
  std::lock_guard lock(model_->mutex);
  ++model_->find(serial).cutsDue;
}

std::vector<UsbControlRequest> UsbTestBed::controlRequests(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).requests;
}

std::uint64_t UsbTestBed::bytesToUnit(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).toUnit;
}

std::uint64_t UsbTestBed::bytesFromUnit(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).fromUnit;
}

std::uint64_t UsbTestBed::inPackets(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).packets;
}

int UsbTestBed::haltsCleared(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).haltsCleared;
}

int UsbTestBed::opens(const std::string& serial) const {
  std::lock_guard lock(model_->mutex);
  return model_->find(serial).opens;
}

}  // namespace parvolin::test
