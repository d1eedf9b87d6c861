// The companion media library, in-process: its version handshake, its start and stop, and
// the four stream call-backs through which it reads title data. The media entries behind
// it (video, Windows Media, Ogg) are filled in by the media managers.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/message_box.h"
#include "vfs/streams.h"

namespace kest {

// The library's own texts (CP932).
namespace kestdlltext {
inline constexpr const char* kCaption = "Error";
inline constexpr const char* kMissing =  // kest.dll\r\nファイルがありません
    "kest.dll\r\n\x83t\x83@\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
inline constexpr const char* kBadVersion =  // kest.dllのバージョンがあいません
    "kest.dll\x82\xCC\x83o\x81[\x83W\x83\x87\x83\x93\x82\xAA\x82\xA0\x82\xA2\x82\xDC\x82\xB9\x82\xF1";
}  // namespace kestdlltext

// A stream handed to the library: a handle, 0 for none.
using TKestStreamHandle = int32_t;

// The four call-backs: size, read, position, set position (answering the new position);
// each answers 0 for an unknown handle. Every call holds one process-wide lock, so at most
// one of them runs at a time, whichever thread calls.
struct TKestStreamCallbacks {
  int64_t (*size)(TKestStreamHandle);
  int64_t (*read)(TKestStreamHandle, void* buffer, int64_t count);
  int64_t (*getPos)(TKestStreamHandle);
  int64_t (*setPos)(TKestStreamHandle, int64_t pos);
};

// What the player hands the library at start.
struct TKestInitParams {
  const void* const* mainWindow = nullptr;   // address of the global main window handle
  const void* const* panelWindow = nullptr;  // address of the global panel handle
  const void* const* sound = nullptr;        // address of the global sound device, once made
  TKestStreamCallbacks streams{};
  bool flag = false;  // always false in the player
};

class TKestDll {
 public:
  static constexpr int32_t kVersion = 108;  // the version the player requires

  static TKestDll& Instance();
  int32_t Version() const { return kVersion; }
  // Checks the handshake; on a mismatch shows the library's box and answers false (the
  // process ends before any window).
  static bool Verify(int32_t version, TMessageBoxes& boxes);

  void Init(const TKestInitParams& params);
  void Final();
  bool Started() const { return started_; }
  void SetOggUseThread(bool on) { oggThread_ = on; }
  bool OggUseThread() const { return oggThread_; }
  const TKestInitParams& Params() const { return params_; }

  // Streams the player opens for the library; the library reads them through the call-
  // backs. Registering takes the stream over; closing frees it.
  static TKestStreamHandle OpenStream(std::unique_ptr<TStream> s);
  static void CloseStream(TKestStreamHandle h);
  static TKestStreamCallbacks Callbacks();

 private:
  bool started_ = false;
  bool oggThread_ = false;
  TKestInitParams params_{};
};

}  // namespace kest
