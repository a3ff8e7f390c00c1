// Everything the portable core needs of the operating system, handed to it
// at construction. The core never reaches the system another way.
#pragma once

#include "os/Clock.h"
#include "os/DeviceIo.h"
#include "os/DeviceSetup.h"
#include "os/FileSystem.h"
#include "os/Profile.h"
#include "os/ServiceControl.h"
#include "os/System.h"
#include "os/Volumes.h"
#include "os/Wmi.h"

namespace os {

class INet;                  // os/Net.h
class IPerformanceCounters;  // os/PerformanceCounters.h
class ITls;                  // os/Tls.h
class ISecretProtector;      // os/Secrets.h

struct Platform {
  IDeviceIo& Devices;
  IWmi& Wmi;
  IClock& Clock;
  IFileSystem& Files;
  IProfile& Profile;
  ISystem& System;
  // Facilities a platform may lack. Null means: no service manager (every
  // service counts as running) and no drive letters.
  IServiceControl* Services = nullptr;
  IVolumes* Volumes = nullptr;
  // Device setup classes and properties; null where the platform has none
  // (the engine then reports no PCI Express link).
  IDeviceSetup* DeviceSetup = nullptr;
  // TCP sockets (mail, the metrics endpoint); null where the program has no
  // network. A simulated machine uses the real loopback.
  INet* Net = nullptr;
  // TLS over such a socket; null where the program has none.
  ITls* Tls = nullptr;
  // Performance counters; null where the platform has none (the sampler
  // then reads every counter as unavailable).
  IPerformanceCounters* Performance = nullptr;
  // Protection of stored secrets for the user; null where the platform has
  // none (the settings file is then made readable by its owner only).
  ISecretProtector* Secrets = nullptr;
};

}  // namespace os
