#pragma once
// The run's own state: whether a run is on and where it stands, what it knows
// of the address it sent last, and how the command line asked it to work. The
// captions and timer periods show the run; they are not where it is kept.

#include <cstdint>
#include <memory>

#include "app/frame.h"
#include "services/images.h"
#include "services/values.h"

namespace sorvane::record {
class PictureRecord;
}

namespace sorvane::run {

enum class RunPhase {
  Off,       // no run: 按钮1 says 开始
  Waiting,   // 时钟1 polls for an idle browser to send the next address
  Dwelling,  // an address was sent; 时钟2 ends its dwell
  Halted,    // the list was cleared during the run: 按钮1 still says 停止, no timer runs
};

// What the run knows of the address it sent last.
struct PageWatch {
  std::int64_t sentAtMs = -1;      // when it was sent; -1 before the first
  std::int64_t stopAskedAtMs = -1; // when its load was told to stop; -1: not yet
  bool timedOut = false;           // its time-out ended its load
  bool sending = false;            // the browser is being sent to it just now
  bool capturing = false;          // its picture is being taken (the engine may run a loop)
  Text url;
};

struct RunState final : app::HandlerState {
  RunPhase phase = RunPhase::Off;
  bool on() const { return phase != RunPhase::Off; }
  // The computer is kept awake from 开始 until the run stops, ends or halts.
  bool keptAwake = false;
  PageWatch page;
  // How long an address may take, from its sending until the next address
  // can be sent, before its load is ended; 0 waits for ever.
  std::int32_t pageTimeoutMs = 0;
  // How pictures are saved; the bitmap image under ".jpg" unless the command
  // line asks for a real picture file.
  ImageFormat pictureFormat = ImageFormat::Bmp;
  // Pictures of the whole document rather than of the browser area.
  bool fullPage = false;
  // The record in the capture folder, with --record.
  std::unique_ptr<record::PictureRecord> record;

  RunState();
  ~RunState() override;
};

// The frame's run state, made on first use; it lives as long as the frame's
// program variables.
RunState& runState(app::Frame& frame);

}  // namespace sorvane::run
