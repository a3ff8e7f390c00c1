// A scripted device seam for the NVMe, USB bridge and CSMI tests: each
// device name answers through a function the test gives, and every request
// is recorded with the bytes it carried. The other facilities of the
// platform are inert (those of the family tests).
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/Platform.h"
#include "tests/support/FamilyTestSupport.h"

namespace testutil {

struct Request {
  std::string Device;
  uint32_t Code = 0;
  std::vector<uint8_t> In;
  uint32_t OutSize = 0;
};

// Answers one request: writes `out` (outSize bytes, already holding a copy
// of the input where the buffers overlap), sets *returned, or returns false
// with *error.
using Handler =
    std::function<bool(const Request& request, uint8_t* out, uint32_t* returned, uint32_t* error)>;

class CScriptedDevices : public os::IDeviceIo {
 public:
  std::map<std::string, Handler> Devices;
  std::vector<Request> Requests;
  std::vector<std::string> Opened;

  std::unique_ptr<os::IDeviceHandle> Open(const std::string& name, os::Access,
                                          uint32_t* error) override {
    Opened.push_back(name);
    auto it = Devices.find(name);
    if (it == Devices.end()) {
      *error = os::ERR_FILE_NOT_FOUND;
      return nullptr;
    }
    return std::make_unique<CHandle>(*this, name, it->second);
  }
  bool DefineRawDosDevice(const std::string&, const std::string&) override { return false; }

  // Requests of one control code, in order.
  std::vector<Request> WithCode(uint32_t code) const {
    std::vector<Request> found;
    for (const Request& r : Requests) {
      if (r.Code == code) found.push_back(r);
    }
    return found;
  }

 private:
  class CHandle : public os::IDeviceHandle {
   public:
    CHandle(CScriptedDevices& owner, std::string name, Handler handler)
        : m_Owner(owner), m_Name(std::move(name)), m_Handler(std::move(handler)) {}
    bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned, uint32_t* error) override {
      Request request;
      request.Device = m_Name;
      request.Code = code;
      if (in != nullptr && inSize > 0) {
        const auto* bytes = static_cast<const uint8_t*>(in);
        request.In.assign(bytes, bytes + inSize);
      }
      request.OutSize = outSize;
      m_Owner.Requests.push_back(request);
      *returned = 0;
      *error = 0;
      return m_Handler(request, static_cast<uint8_t*>(out), returned, error);
    }
    bool Read(void* buffer, uint32_t size, uint32_t* read) override {
      std::memset(buffer, 0, size);
      *read = size;
      return true;
    }

   private:
    CScriptedDevices& m_Owner;
    std::string m_Name;
    Handler m_Handler;
  };
};

class CScriptedWmi : public os::IWmi {
 public:
  // Answers by exact WQL text; anything else fails.
  std::map<std::string, std::vector<os::WmiObject>> Answers;
  std::vector<std::string> Queries;
  std::optional<std::vector<os::WmiObject>> Query(const std::string&,
                                                  const std::string& wql) override {
    Queries.push_back(wql);
    auto it = Answers.find(wql);
    if (it == Answers.end()) return std::nullopt;
    return it->second;
  }
};

class CScriptedSetup : public os::IDeviceSetup {
 public:
  std::vector<std::string> Adapters;
  // (instance id, property id) -> bytes
  std::map<std::pair<std::string, uint32_t>, std::vector<uint8_t>> Properties;
  std::vector<std::string> PresentDevices(const std::string&) override { return Adapters; }
  std::optional<std::vector<uint8_t>> DeviceProperty(const std::string& id, const std::string&,
                                                     uint32_t property) override {
    auto it = Properties.find({id, property});
    if (it == Properties.end()) return std::nullopt;
    return it->second;
  }
};

// Everything a CAtaSmart needs, with the scripted devices.
struct CFakePlatform {
  CScriptedDevices Devices;
  CScriptedWmi Wmi;
  testutil::RecordingClock Clock;
  testutil::NullFiles Files;
  testutil::NullProfile Profile;
  testutil::NullSystem System;  // Windows 10
  CScriptedSetup Setup;
  os::Platform Get() {
    os::Platform p{Devices, Wmi, Clock, Files, Profile, System};
    p.DeviceSetup = &Setup;
    return p;
  }
};

}  // namespace testutil
