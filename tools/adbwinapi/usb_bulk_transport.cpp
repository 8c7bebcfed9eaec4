#include "tools/adbwinapi/usb_bulk_transport.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "tools/adbwinapi/usb_download_writer.h"

namespace upwend::adb {

namespace {

// The bulk I/O takes an unsigned int time-out with 0 meaning no limit, as ours does.
unsigned int UsbTimeout(unsigned long ms) { return static_cast<unsigned int>(std::min<unsigned long>(ms, 0xFFFFFFFFul)); }

class UsbBulkTransport final : public Transport {
public:
  UsbBulkTransport(std::unique_ptr<UsbBulkIo> io, const BulkInterface& pipes, std::function<void()> release)
      : pipes_(pipes), io_(std::move(io)), writer_(std::make_unique<UsbDownloadWriter>(*io_)), release_(std::move(release)) {}
  ~UsbBulkTransport() override {
    // Transfers still in flight end before their buffers and the device handle go.
    writer_.reset();
    io_.reset();
    if (release_) release_();
  }

  AdbUsbInterfaceDescriptor InterfaceDescriptor() const override { return pipes_.descriptor; }
  AdbEndpointInformation ReadEndpointInfo() const override {
    return EndpointInformation(pipes_.in, pipes_.descriptor.bAlternateSetting, kMaxUsbTransferSize);
  }
  AdbEndpointInformation WriteEndpointInfo() const override {
    return EndpointInformation(pipes_.out, pipes_.descriptor.bAlternateSetting, kMaxUsbTransferSize);
  }

  Expected<size_t, IoFailure> Write(const uint8_t* data, size_t size, unsigned long timeoutMs) override {
    std::lock_guard lock(writeMutex_);
    return writer_->Write(data, size, UsbTimeout(timeoutMs));
  }

  Expected<size_t, IoFailure> Read(uint8_t* data, size_t capacity, unsigned long timeoutMs) override {
    std::lock_guard lock(readMutex_);
    {
      std::lock_guard writeLock(writeMutex_);
      if (auto e = writer_->Flush(UsbTimeout(timeoutMs))) return Unexpected(IoFailure{*e, 0});
    }
    // Read whole packets: a reply longer than the caller's buffer would otherwise be an
    // overflow error instead of a cut reply.
    size_t packet = std::max<size_t>(pipes_.in.maxPacketSize, 1);
    size_t want = std::min<size_t>(std::max<size_t>((capacity + packet - 1) / packet * packet, packet), kMaxUsbTransferSize);
    buffer_.resize(want);
    size_t transferred = 0;
    int rc = io_->ReadIn(buffer_.data(), want, UsbTimeout(timeoutMs), transferred);
    size_t n = std::min(capacity, transferred);
    if (n > 0) std::memcpy(data, buffer_.data(), n);
    if (rc != 0) return Unexpected(IoFailure{io_->Describe(rc, "bulk read"), n});
    {
      std::lock_guard writeLock(writeMutex_);
      writer_->OnReply(std::string_view(reinterpret_cast<const char*>(buffer_.data()), transferred));
    }
    return n;
  }

private:
  BulkInterface pipes_;
  std::unique_ptr<UsbBulkIo> io_;
  std::unique_ptr<UsbDownloadWriter> writer_;
  std::function<void()> release_;
  std::mutex writeMutex_;
  std::mutex readMutex_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

std::shared_ptr<Transport> MakeUsbBulkTransport(std::unique_ptr<UsbBulkIo> io, const BulkInterface& pipes,
                                                std::function<void()> release) {
  return std::make_shared<UsbBulkTransport>(std::move(io), pipes, std::move(release));
}

}  // namespace upwend::adb
