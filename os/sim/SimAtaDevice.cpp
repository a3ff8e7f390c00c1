#include "os/sim/SimAtaDevice.h"

#include "os/DeviceIo.h"

namespace os::sim {

std::optional<SimOp> OpOfTaskFile(const TaskFile& tf) {
  switch (tf.Command) {
    case 0xEC:
      return SimOp::Identify;
    case 0xEF:
      return SimOp::SetFeatures;
    case 0xB0:
      // S.M.A.R.T. needs its signature in LBA mid/high; drives abort without it.
      if (tf.LbaMid != 0x4F || tf.LbaHigh != 0xC2) return std::nullopt;
      if (tf.Features == 0xD0) return SimOp::SmartData;
      if (tf.Features == 0xD1) return SimOp::SmartThresholds;
      if (tf.Features == 0xD8) return SimOp::SmartEnable;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

AtaAnswer ExecuteAta(SimDisk& disk, SimPath path, const TaskFile& tf) {
  AtaAnswer a;
  if (!disk.Answers(path)) {
    a.Result = AtaAnswer::Outcome::Failed;
    a.Error = ERR_INVALID_FUNCTION;
    return a;
  }
  auto op = OpOfTaskFile(tf);
  // A device register naming the other device of the channel finds nobody.
  if (!op || (tf.Device & 0x10) != (disk.Target & 0x10)) {
    a.Result = AtaAnswer::Outcome::Aborted;
    if (op) a.Op = *op;
    return a;
  }
  return ExecuteOp(disk, path, *op);
}

AtaAnswer ExecuteOp(SimDisk& disk, SimPath path, SimOp op) {
  AtaAnswer a;
  a.Op = op;
  if (!disk.Answers(path)) {
    a.Result = AtaAnswer::Outcome::Failed;
    a.Error = ERR_INVALID_FUNCTION;
    return a;
  }
  const Fault& fault = disk.FaultFor(path, op);
  if (fault.Kind == FaultKind::NoAnswer) {
    a.Result = AtaAnswer::Outcome::Failed;
    a.Error = ERR_SEM_TIMEOUT;
    return a;
  }
  if (fault.Kind == FaultKind::Error) {
    a.Result = AtaAnswer::Outcome::Failed;
    a.Error = fault.Error;
    return a;
  }
  switch (op) {
    case SimOp::Identify:
      if (!disk.Identify) {
        a.Result = AtaAnswer::Outcome::Aborted;
        return a;
      }
      a.HasData = true;
      a.Data = *disk.Identify;
      if (fault.Kind == FaultKind::BlankModel) {
        for (size_t i = 54; i < 94; ++i) a.Data[i] = 0;
      }
      break;
    case SimOp::SmartData:
      if (disk.SmartData.empty()) {
        a.Result = AtaAnswer::Outcome::Aborted;
        return a;
      }
      a.HasData = true;
      a.Data = disk.SmartData[std::min(disk.SmartReads, disk.SmartData.size() - 1)];
      ++disk.SmartReads;
      break;
    case SimOp::SmartThresholds:
      if (fault.Kind == FaultKind::EchoData && !disk.SmartData.empty()) {
        size_t last = disk.SmartReads == 0 ? 0 : disk.SmartReads - 1;
        a.HasData = true;
        a.Data = disk.SmartData[std::min(last, disk.SmartData.size() - 1)];
        break;
      }
      if (!disk.SmartThresholds) {
        a.Result = AtaAnswer::Outcome::Aborted;
        return a;
      }
      a.HasData = true;
      a.Data = *disk.SmartThresholds;
      break;
    case SimOp::SmartEnable:
      if (disk.SmartData.empty()) {
        a.Result = AtaAnswer::Outcome::Aborted;
        return a;
      }
      break;
    case SimOp::SetFeatures:
    case SimOp::Geometry:
    case SimOp::Count:
      break;
  }
  if (a.HasData) {
    a.DataBytes = static_cast<uint32_t>(a.Data.size());
    if (fault.Kind == FaultKind::Zero) a.Data.fill(0);
    if (fault.Kind == FaultKind::Short) a.DataBytes = fault.Bytes;
  }
  return a;
}

}  // namespace os::sim
