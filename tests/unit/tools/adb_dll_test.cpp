// AdbWinApi.dll as the worker uses it: loaded by path, entry points looked up by name, fastboot
// spoken to a scripted device over loopback TCP. One source for both systems: the Windows build
// runs it against its own AdbWinApi.dll under Wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "abi/adb_api.h"
#include "platform/dynamic_library.h"
#include "tests/unit/platform/test_dir.h"
#include "tests/unit/tools/scripted_fastboot_server.h"

namespace upwend::testing {
namespace {

constexpr unsigned long kBlock = 4096;

struct AdbApi {
  std::unique_ptr<DynamicLibrary> lib;
  AdbCreateInterfaceByNameFn createByName = nullptr;
  AdbGetInterfaceNameFn getName = nullptr;
  AdbGetUsbInterfaceDescriptorFn getDescriptor = nullptr;
  AdbGetDefaultBulkReadEndpointInformationFn readInfo = nullptr;
  AdbGetDefaultBulkWriteEndpointInformationFn writeInfo = nullptr;
  AdbOpenDefaultBulkReadEndpointFn openRead = nullptr;
  AdbOpenDefaultBulkWriteEndpointFn openWrite = nullptr;
  AdbWriteEndpointSyncFn write = nullptr;
  AdbReadEndpointSyncFn read = nullptr;
  AdbCloseHandleFn closeHandle = nullptr;
  AdbGetLastErrorTextFn lastError = nullptr;
  AdbGetWriteEndpointBufferFn writeBuffer = nullptr;
};

// Resolve(lib, "Name", fn, "Other", other, ...): each entry point by its name.
void Resolve(const DynamicLibrary&) {}
template <typename Fn, typename... Rest>
void Resolve(const DynamicLibrary& lib, const char* name, Fn& fn, Rest&... rest) {
  fn = lib.Function<Fn>(name);
  ASSERT_NE(fn, nullptr) << name;
  Resolve(lib, rest...);
}

// One open connection: interface plus both bulk endpoints, as the worker's connect step makes it.
struct Connection {
  ADBAPIHANDLE iface = nullptr, in = nullptr, out = nullptr;
};

class AdbDllTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string why;
    api_.lib = DynamicLibrary::Load(UPWEND_ADBWINAPI_DLL, why);
    ASSERT_NE(api_.lib, nullptr) << why;
    Resolve(*api_.lib, "AdbCreateInterfaceByName", api_.createByName, "AdbGetInterfaceName", api_.getName,
            "AdbGetUsbInterfaceDescriptor", api_.getDescriptor, "AdbGetDefaultBulkReadEndpointInformation",
            api_.readInfo, "AdbGetDefaultBulkWriteEndpointInformation", api_.writeInfo,
            "AdbOpenDefaultBulkReadEndpoint", api_.openRead, "AdbOpenDefaultBulkWriteEndpoint", api_.openWrite,
            "AdbWriteEndpointSync", api_.write, "AdbReadEndpointSync", api_.read, "AdbCloseHandle",
            api_.closeHandle, "AdbGetLastErrorText", api_.lastError, "AdbGetWriteEndpointBuffer", api_.writeBuffer);
  }

  Connection Connect(const std::wstring& path) {
    Connection c;
    c.iface = api_.createByName(path.c_str());
    EXPECT_NE(c.iface, nullptr) << api_.lastError();
    if (c.iface == nullptr) return c;
    c.in = api_.openRead(c.iface, AdbOpenAccessTypeReadWrite, AdbOpenSharingModeReadWrite);
    c.out = api_.openWrite(c.iface, AdbOpenAccessTypeReadWrite, AdbOpenSharingModeReadWrite);
    EXPECT_NE(c.in, nullptr);
    EXPECT_NE(c.out, nullptr);
    return c;
  }

  void Close(Connection& c) {
    EXPECT_TRUE(api_.closeHandle(c.out));
    EXPECT_TRUE(api_.closeHandle(c.in));
    EXPECT_TRUE(api_.closeHandle(c.iface));
  }

  bool Send(Connection& c, const std::string& command, unsigned long timeoutMs = 2000) {
    unsigned long written = 0;
    bool ok = api_.write(c.out, const_cast<char*>(command.data()), static_cast<unsigned long>(command.size()), &written,
                         timeoutMs);
    return ok && written == command.size();
  }

  std::string Receive(Connection& c, unsigned long capacity = 64, unsigned long timeoutMs = 2000) {
    std::string buffer(capacity, '\0');
    unsigned long got = 0;
    if (!api_.read(c.in, buffer.data(), capacity, &got, timeoutMs)) return "<read failed: " + std::string(api_.lastError()) + ">";
    buffer.resize(got);
    return buffer;
  }

  AdbApi api_;
};

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 4096) % 251);
  return data;
}

TEST_F(AdbDllTest, EveryEntryPointResolvesAndTheUnusedOnesFailClearly) {
  for (const char* name :
       {"AdbCreateInterface", "AdbGetUsbInterfaceDescriptor", "AdbOpenDefaultBulkReadEndpoint",
        "AdbOpenDefaultBulkWriteEndpoint", "AdbQueryInformationEndpoint", "AdbWriteEndpointSync", "AdbReadEndpointSync",
        "AdbCloseHandle", "AdbGetEndpointInformation", "AdbGetDefaultBulkReadEndpointInformation",
        "AdbGetDefaultBulkWriteEndpointInformation", "AdbGetInterfaceName", "AdbCreateInterfaceByName",
        "AdbWriteEndpointAsync", "AdbReadEndpointAsync", "AdbGetOvelappedIoResult", "AdbGetWriteEndpointBuffer"}) {
    EXPECT_NE(api_.lib->Symbol(name), nullptr) << name;
  }
  AdbEndpointInformation info{};
  errno = 0;
  EXPECT_FALSE(api_.lib->Function<AdbGetEndpointInformationFn>("AdbGetEndpointInformation")(nullptr, 0, &info));
  EXPECT_EQ(errno, ENOSYS);
  EXPECT_NE(std::string(api_.lastError()).find("AdbGetEndpointInformation"), std::string::npos);
  errno = 0;
  EXPECT_EQ(api_.lib->Function<AdbCreateInterfaceFn>("AdbCreateInterface")(AdbGuid{}, 0x18d1, 0xd00d, 0),
            nullptr);
  EXPECT_EQ(errno, ENOSYS);
}

TEST_F(AdbDllTest, BadPathsAndHandlesAreRefused) {
  for (const wchar_t* path : {L"", L"COM5", L"tcp:", L"tcp:127.0.0.1:0", L"tcp:127.0.0.1:70000", L"usb:1:2:3",
                              L"tcp:h\u00e9st:5554"}) {
    errno = 0;
    EXPECT_EQ(api_.createByName(path), nullptr);
    EXPECT_EQ(errno, EINVAL) << api_.lastError();
  }
  EXPECT_EQ(api_.createByName(nullptr), nullptr);

  char buffer[16];
  unsigned long n = 0;
  AdbUsbInterfaceDescriptor desc{};
  auto bogus = reinterpret_cast<ADBAPIHANDLE>(uintptr_t{0xdead});
  errno = 0;
  EXPECT_FALSE(api_.getDescriptor(bogus, &desc));
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(api_.read(bogus, buffer, sizeof buffer, &n, 10));
  EXPECT_FALSE(api_.write(nullptr, buffer, sizeof buffer, &n, 10));
  EXPECT_FALSE(api_.closeHandle(bogus));
  EXPECT_EQ(errno, EBADF);
}

TEST_F(AdbDllTest, InitialisesLikeABootLoaderAndAnswersGetvar) {
  ScriptedFastbootServer server;
  server.Run([](ServerConnection& c) {
    ASSERT_TRUE(c.Handshake());
    c.Expect("getvar:version");
    c.Reply("OKAY0.4");
    EXPECT_FALSE(c.ReadMessage().has_value()) << "the client should have closed the connection";
  });
  Connection conn = Connect(server.Path());
  ASSERT_NE(conn.iface, nullptr);

  // Name: size query first, as a caller with no buffer does; then ANSI and wide copies.
  std::string expected = "tcp:127.0.0.1:" + std::to_string(server.Port());
  unsigned long size = 0;
  EXPECT_FALSE(api_.getName(conn.iface, nullptr, &size, true));
  EXPECT_EQ(errno, ENOBUFS);
  EXPECT_EQ(size, expected.size() + 1);
  char name[512];
  size = sizeof name;
  ASSERT_TRUE(api_.getName(conn.iface, name, &size, true));
  EXPECT_EQ(std::string(name), expected);
  wchar_t wide[512];
  size = 512;
  ASSERT_TRUE(api_.getName(conn.iface, wide, &size, false));
  EXPECT_EQ(std::wstring(wide), server.Path());

  AdbUsbInterfaceDescriptor desc{};
  ASSERT_TRUE(api_.getDescriptor(conn.iface, &desc));
  EXPECT_EQ(desc.bNumEndpoints, 2);
  EXPECT_EQ(desc.bInterfaceClass, 0xFF);
  EXPECT_EQ(desc.bInterfaceSubClass, 0x42);
  EXPECT_EQ(desc.bInterfaceProtocol, 0x03);
  AdbEndpointInformation readInfo{}, writeInfo{};
  ASSERT_TRUE(api_.readInfo(conn.iface, &readInfo));
  ASSERT_TRUE(api_.writeInfo(conn.iface, &writeInfo));
  EXPECT_EQ(readInfo.endpoint_type, AdbEndpointTypeBulk);
  EXPECT_NE(readInfo.endpoint_address & 0x80, 0);
  EXPECT_EQ(writeInfo.endpoint_address & 0x80, 0);

  // The endpoints only go their own way.
  char b[4];
  unsigned long n = 0;
  EXPECT_FALSE(api_.write(conn.in, b, 4, &n, 10));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(api_.read(conn.out, b, 4, &n, 10));
  EXPECT_FALSE(api_.read(conn.iface, b, 4, &n, 10));

  ASSERT_TRUE(Send(conn, "getvar:version"));
  EXPECT_EQ(Receive(conn), "OKAY0.4");
  Close(conn);
  // Handles are dead once closed; closing again is refused, not a crash.
  EXPECT_FALSE(api_.closeHandle(conn.iface));
  EXPECT_FALSE(api_.write(conn.out, b, 4, &n, 10));
  EXPECT_EQ(errno, EBADF);
  server.Join();
}

TEST_F(AdbDllTest, DownloadInBlocksGoesAsOneFrameThenFlash) {
  const std::string image = Pattern(3 * 1024 * 1024 + 123);
  ScriptedFastbootServer server;
  server.Run([&](ServerConnection& c) {
    ASSERT_TRUE(c.Handshake());
    c.Expect("download:0030007b");
    c.Reply("DATA0030007b");
    auto length = c.ReadHeader();
    ASSERT_TRUE(length.has_value());
    ASSERT_EQ(*length, image.size()) << "the data must be one frame of the announced length";
    std::string data(image.size(), '\0');
    ASSERT_TRUE(c.ReadExact(data.data(), data.size()));
    EXPECT_TRUE(data == image) << "data differs";
    c.Reply("OKAY");
    c.Expect("flash:system");  // the stream is back in step: the next frame is the command
    c.Reply("OKAY");
  });
  Connection conn = Connect(server.Path());
  ASSERT_NE(conn.iface, nullptr);
  unsigned long room = 1;
  EXPECT_EQ(api_.writeBuffer(conn.out, &room), nullptr) << "nothing is gathered outside a download";
  EXPECT_EQ(room, 0u);
  EXPECT_EQ(api_.writeBuffer(conn.in, &room), nullptr);
  EXPECT_EQ(errno, EINVAL);
  ASSERT_TRUE(Send(conn, "download:0030007b", 500));
  EXPECT_EQ(Receive(conn, 24, 512), "DATA0030007b");
  // The blocks come from the caller's memory, then from the library's own buffer, filled by the
  // caller (as the worker reads a file into it), within one batch and across several, down to
  // the last short block; all reach the device in order.
  size_t blocks = 0;
  for (size_t off = 0; off < image.size();) {
    char* area = static_cast<char*>(api_.writeBuffer(conn.out, &room));
    bool inPlace = off >= 600 * 1024;
    size_t piece = std::min<size_t>(inPlace ? room : 5 * kBlock, image.size() - off);
    ASSERT_NE(area, nullptr);
    ASSERT_GE(room, std::min<size_t>(kBlock, image.size() - off));
    if (inPlace) std::memcpy(area, image.data() + off, piece);
    for (size_t at = 0; at < piece; at += kBlock) {
      unsigned long len = static_cast<unsigned long>(std::min<size_t>(kBlock, piece - at));
      unsigned long written = 0;
      char* from = inPlace ? area + at : const_cast<char*>(image.data() + off + at);
      ASSERT_TRUE(api_.write(conn.out, from, len, &written, 120000)) << api_.lastError();
      ASSERT_EQ(written, len);
      ++blocks;
    }
    off += piece;
  }
  EXPECT_EQ(blocks, 769u);  // 768 full blocks and one of 123 bytes
  EXPECT_EQ(api_.writeBuffer(conn.out, &room), nullptr) << "the download is complete";
  EXPECT_EQ(Receive(conn, 16, 300000), "OKAY");
  ASSERT_TRUE(Send(conn, "flash:system", 80000));
  EXPECT_EQ(Receive(conn, 16, 300000), "OKAY");
  Close(conn);
  server.Join();
}

TEST_F(AdbDllTest, FailRepliesEmptyDownloadsAndLongRepliesKeepTheStreamInStep) {
  ScriptedFastbootServer server;
  server.Run([](ServerConnection& c) {
    ASSERT_TRUE(c.Handshake());
    // A refused download: what follows is a command again, not data.
    c.Expect("download:00100000");
    c.Reply("FAILdata too large");
    c.Expect("getvar:max-download-size");
    c.Reply("OKAY0x08000000 and a long tail of text after it");
    c.Reply("OKAY");
    // An empty download has no data frame; the device confirms it at once.
    c.Expect("download:00000000");
    c.Reply("DATA00000000");
    c.Reply("OKAY");
    c.Expect("mutilflash:2:system");
    c.Reply("FAILpartition too small");
    // Progress text before the answer.
    c.Expect("download:00000010");
    c.Reply("INFOpreparing");
    c.Reply("DATA00000010");
    auto data = c.ReadMessage();
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(*data, "0123456789abcdef");
    c.Reply("OKAY");
    c.Expect("reboot");
    c.Reply("OKAY");
  });
  Connection conn = Connect(server.Path());
  ASSERT_NE(conn.iface, nullptr);
  ASSERT_TRUE(Send(conn, "download:00100000"));
  EXPECT_EQ(Receive(conn, 24), "FAILdata too large");
  ASSERT_TRUE(Send(conn, "getvar:max-download-size"));
  EXPECT_EQ(Receive(conn, 16), "OKAY0x08000000 a");  // cut to the buffer, the rest dropped
  EXPECT_EQ(Receive(conn, 16), "OKAY");
  ASSERT_TRUE(Send(conn, "download:00000000"));
  EXPECT_EQ(Receive(conn, 24), "DATA00000000");
  EXPECT_EQ(Receive(conn, 16), "OKAY");
  ASSERT_TRUE(Send(conn, "mutilflash:2:system"));
  EXPECT_EQ(Receive(conn, 16), "FAILpartition to");
  ASSERT_TRUE(Send(conn, "download:00000010"));
  EXPECT_EQ(Receive(conn, 24), "INFOpreparing");
  EXPECT_EQ(Receive(conn, 24), "DATA00000010");
  // More data than announced is refused whole rather than spilling into the next frame.
  unsigned long written = 99;
  std::string tooMuch(17, 'x');
  EXPECT_FALSE(api_.write(conn.out, tooMuch.data(), 17, &written, 1000));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(written, 0u);
  ASSERT_TRUE(Send(conn, "01234567"));
  ASSERT_TRUE(Send(conn, "89abcdef"));
  EXPECT_EQ(Receive(conn, 16), "OKAY");
  ASSERT_TRUE(Send(conn, "reboot"));
  EXPECT_EQ(Receive(conn, 16), "OKAY");
  Close(conn);
  server.Join();
}

TEST_F(AdbDllTest, DeviceThatDisconnectsMidDownloadFailsTheWriteWithoutHanging) {
  constexpr size_t kAnnounced = 32 * 1024 * 1024;
  ScriptedFastbootServer server;
  server.Run([](ServerConnection& c) {
    ASSERT_TRUE(c.Handshake());
    c.Expect("download:02000000");
    c.Reply("DATA02000000");
    std::string some(1024 * 1024 + 8, '\0');
    EXPECT_TRUE(c.ReadExact(some.data(), some.size()));
    c.Close();
  });
  Connection conn = Connect(server.Path());
  ASSERT_NE(conn.iface, nullptr);
  ASSERT_TRUE(Send(conn, "download:02000000"));
  ASSERT_EQ(Receive(conn, 24), "DATA02000000");
  auto start = std::chrono::steady_clock::now();
  std::string block(kBlock, 'z');
  size_t sent = 0;
  bool failed = false;
  for (size_t i = 0; i < kAnnounced / kBlock; ++i) {
    unsigned long written = 0;
    if (!api_.write(conn.out, block.data(), kBlock, &written, 120000)) {
      failed = true;
      EXPECT_TRUE(errno == EPIPE || errno == ECONNRESET) << api_.lastError();
      EXPECT_LT(written, kBlock);
      break;
    }
    sent += written;
  }
  EXPECT_TRUE(failed) << "all " << sent << " bytes were accepted by a device that went away";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  unsigned long n = 0;
  char reply[16];
  EXPECT_FALSE(api_.read(conn.in, reply, sizeof reply, &n, 300000));
  EXPECT_EQ(errno, ECONNRESET);
  Close(conn);
  server.Join();
}

TEST_F(AdbDllTest, SilentOrWrongDevicesTimeOutOrAreRefused) {
  {
    ScriptedFastbootServer server;
    server.Run([](ServerConnection& c) {
      ASSERT_TRUE(c.Handshake());
      c.Expect("flash:boot");
      EXPECT_FALSE(c.ReadMessage().has_value());  // never answers; waits for the client to hang up
    });
    Connection conn = Connect(server.Path());
    ASSERT_NE(conn.iface, nullptr);
    ASSERT_TRUE(Send(conn, "flash:boot"));
    auto start = std::chrono::steady_clock::now();
    char reply[16];
    unsigned long n = 0;
    EXPECT_FALSE(api_.read(conn.in, reply, sizeof reply, &n, 150));
    EXPECT_EQ(errno, ETIMEDOUT);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(140));
    EXPECT_LT(waited, std::chrono::seconds(5));
    Close(conn);
    server.Join();
  }
  {
    ScriptedFastbootServer server;
    server.Run([](ServerConnection& c) { c.Handshake("HTTP"); });
    errno = 0;
    EXPECT_EQ(api_.createByName(server.Path().c_str()), nullptr);
    EXPECT_EQ(errno, EPROTO) << api_.lastError();
    server.Join();
  }
  std::wstring closedPort;
  {
    ScriptedFastbootServer server;  // bound and closed again: nobody listens there now
    closedPort = server.Path();
  }
  errno = 0;
  EXPECT_EQ(api_.createByName(closedPort.c_str()), nullptr);
  EXPECT_EQ(errno, ECONNREFUSED) << api_.lastError();
}

TEST_F(AdbDllTest, UsbPathsGoThroughTheCompanionLibraryBesideIt) {
  // Beside the built library: the companion loads, and only the device is missing.
  errno = 0;
  EXPECT_EQ(api_.createByName(L"usb:255:127:0:18d1:d00d"), nullptr);
  EXPECT_NE(errno, 0);
  EXPECT_EQ(std::string(api_.lastError()).find("AdbWinUsbApi.dll"), std::string::npos) << api_.lastError();

  // A copy without its companion: USB paths fail naming it, TCP still works.
  std::string copy = FreshTestDir() + "/AdbWinApi.dll";
  std::filesystem::copy_file(UPWEND_ADBWINAPI_DLL, copy, std::filesystem::copy_options::overwrite_existing);
  std::string why;
  auto alone = DynamicLibrary::Load(copy, why);
  ASSERT_NE(alone, nullptr) << why;
  auto create = alone->Function<AdbCreateInterfaceByNameFn>("AdbCreateInterfaceByName");
  auto lastError = alone->Function<AdbGetLastErrorTextFn>("AdbGetLastErrorText");
  auto closeHandle = alone->Function<AdbCloseHandleFn>("AdbCloseHandle");
  ASSERT_NE(create, api_.createByName) << "the copy must be a library of its own";
  errno = 0;
  EXPECT_EQ(create(L"usb:1:2:0:18d1:d00d"), nullptr);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_NE(std::string(lastError()).find("AdbWinUsbApi.dll"), std::string::npos) << lastError();

  ScriptedFastbootServer server;
  server.Run([](ServerConnection& c) { EXPECT_TRUE(c.Handshake()); });
  ADBAPIHANDLE iface = create(server.Path().c_str());
  EXPECT_NE(iface, nullptr) << lastError();
  if (iface != nullptr) {
    EXPECT_TRUE(closeHandle(iface));
  }
  server.Join();
}

// Runs only with a real device in fastboot mode: UPWEND_TEST_USB_FASTBOOT=usb:BUS:ADDR:IFACE:VID:PID.
TEST_F(AdbDllTest, RealUsbDeviceAnswersGetvar) {
  const char* path = std::getenv("UPWEND_TEST_USB_FASTBOOT");
  if (path == nullptr || *path == '\0') GTEST_SKIP() << "no USB fastboot device given";
  std::wstring wide(path, path + std::strlen(path));
  Connection conn = Connect(wide);
  ASSERT_NE(conn.iface, nullptr);
  AdbEndpointInformation info{};
  ASSERT_TRUE(api_.readInfo(conn.iface, &info));
  EXPECT_EQ(info.endpoint_type, AdbEndpointTypeBulk);
  ASSERT_TRUE(Send(conn, "getvar:version", 500));
  EXPECT_EQ(Receive(conn, 64, 5000).substr(0, 4), "OKAY");
  Close(conn);
}

}  // namespace
}  // namespace upwend::testing
