#include "os/win32/Win32TaskScheduler.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>

#include "os/win32/ComPtr.h"
#include "os/win32/WinText.h"

namespace os {
namespace {

VARIANT EmptyVariant() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

}  // namespace

bool CWin32TaskScheduler::ChangeTaskSettings(const std::string& name,
                                             const TaskSettingsChange& change,
                                             std::string* failedStep) {
  auto fail = [failedStep](const char* step) {
    *failedStep = step;
    return false;
  };
  if (name.empty() || HasNul(name)) return fail("name");
  CComScope com;
  CComPtr<ITaskService> service;
  if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                              reinterpret_cast<void**>(service.Put())))) {
    return fail("CoCreateInstance");
  }
  if (FAILED(service->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant()))) {
    return fail("Connect");
  }
  CComPtr<ITaskFolder> folder;
  CBstr root(L"\\");
  if (FAILED(service->GetFolder(root.Get(), folder.Put()))) return fail("GetFolder");
  CComPtr<IRegisteredTask> task;
  const std::wstring wideName = Utf8ToWide(name);
  CBstr taskName(wideName.c_str());
  if (FAILED(folder->GetTask(taskName.Get(), task.Put()))) return fail("GetTask");
  CComPtr<ITaskDefinition> definition;
  if (FAILED(task->get_Definition(definition.Put()))) return fail("get_Definition");
  CComPtr<ITaskSettings> settings;
  if (FAILED(definition->get_Settings(settings.Put()))) return fail("get_Settings");
  if (FAILED(settings->put_DisallowStartIfOnBatteries(
          change.DisallowStartIfOnBatteries ? VARIANT_TRUE : VARIANT_FALSE))) {
    return fail("put_DisallowStartIfOnBatteries");
  }
  if (FAILED(settings->put_StopIfGoingOnBatteries(change.StopIfGoingOnBatteries ? VARIANT_TRUE
                                                                                : VARIANT_FALSE))) {
    return fail("put_StopIfGoingOnBatteries");
  }
  if (FAILED(settings->put_Priority(change.Priority))) return fail("put_Priority");
  CComPtr<IRegisteredTask> registered;
  const VARIANT empty = EmptyVariant();
  if (FAILED(folder->RegisterTaskDefinition(
          taskName.Get(), definition.Get(), change.RegisterFlags, empty, empty,
          static_cast<TASK_LOGON_TYPE>(change.LogonType), empty, registered.Put()))) {
    return fail("RegisterTaskDefinition");
  }
  return true;
}

}  // namespace os
