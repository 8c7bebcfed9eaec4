#pragma once
// `adbapi`: the worker's binding to AdbWinApi.dll, loaded by path from the working folder, with
// the sixteen entry points looked up by name. A library that cannot be loaded leaves the binding
// unusable; the fastboot pass then fails at its connect step.
#include <memory>
#include <string>

#include "abi/adb_api.h"

namespace upwend {

class DynamicLibrary;

constexpr const char* kAdbWinApiFile = "AdbWinApi.dll";

struct AdbEntryPoints {
  AdbCreateInterfaceFn createInterface = nullptr;
  AdbGetUsbInterfaceDescriptorFn getUsbInterfaceDescriptor = nullptr;
  AdbOpenDefaultBulkReadEndpointFn openDefaultBulkReadEndpoint = nullptr;
  AdbOpenDefaultBulkWriteEndpointFn openDefaultBulkWriteEndpoint = nullptr;
  AdbQueryInformationEndpointFn queryInformationEndpoint = nullptr;
  AdbWriteEndpointSyncFn writeEndpointSync = nullptr;
  AdbReadEndpointSyncFn readEndpointSync = nullptr;
  AdbCloseHandleFn closeHandle = nullptr;
  AdbGetEndpointInformationFn getEndpointInformation = nullptr;
  AdbGetDefaultBulkReadEndpointInformationFn getDefaultBulkReadEndpointInformation = nullptr;
  AdbGetDefaultBulkWriteEndpointInformationFn getDefaultBulkWriteEndpointInformation = nullptr;
  AdbGetInterfaceNameFn getInterfaceName = nullptr;
  AdbCreateInterfaceByNameFn createInterfaceByName = nullptr;
  AdbWriteEndpointAsyncFn writeEndpointAsync = nullptr;
  AdbReadEndpointAsyncFn readEndpointAsync = nullptr;
  AdbGetOvelappedIoResultFn getOvelappedIoResult = nullptr;
  // Ours, absent from other builds of the library: lets an image be read straight into the
  // library's send buffer. Optional.
  AdbGetWriteEndpointBufferFn getWriteEndpointBuffer = nullptr;

  // The ten entry points the fastboot pass calls.
  bool Usable() const {
    return createInterfaceByName && getInterfaceName && getUsbInterfaceDescriptor &&
           getDefaultBulkReadEndpointInformation && getDefaultBulkWriteEndpointInformation &&
           openDefaultBulkReadEndpoint && openDefaultBulkWriteEndpoint && writeEndpointSync && readEndpointSync &&
           closeHandle;
  }
};

class AdbBinding {
public:
  AdbBinding();
  ~AdbBinding();
  // Loads `path` and looks the entry points up; false (with `error`) when the library cannot serve.
  bool Load(const std::string& path, std::string& error);
  bool Loaded() const { return api_.Usable(); }
  // Why the last call failed, for the run log: the library's own last-error text, or the
  // loader's message when the library could not be loaded; "" when neither says anything.
  std::string FailureReason() const;
  // Uses entry points that are already at hand (tests).
  void Use(const AdbEntryPoints& api) { api_ = api; }
  const AdbEntryPoints& api() const { return api_; }

  // Interface and endpoint handles of the current connection; kept after closing.
  ADBAPIHANDLE interfaceHandle = nullptr;
  ADBAPIHANDLE readEndpoint = nullptr;
  ADBAPIHANDLE writeEndpoint = nullptr;

private:
  std::unique_ptr<DynamicLibrary> library_;
  AdbEntryPoints api_;
  AdbGetLastErrorTextFn lastErrorText_ = nullptr;  // ours; absent from other builds of the library
  std::string loadError_;
};

}  // namespace upwend
