#include "shell/kestdll.h"

namespace kest {

namespace {

struct TStreamTable {
  std::mutex lock;  // the one critical section of the call-backs
  std::unordered_map<TKestStreamHandle, std::unique_ptr<TStream>> streams;
  TKestStreamHandle next = 1;
};

TStreamTable& Table() {
  static TStreamTable t;
  return t;
}

template <class F>
int64_t WithStream(TKestStreamHandle h, F f) {
  TStreamTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.streams.find(h);
  if (it == t.streams.end()) return 0;
  try {
    return f(*it->second);
  } catch (const EKest&) {
    return 0;  // a failing read gives the library nothing, never an exception across it
  }
}

int64_t CbSize(TKestStreamHandle h) { return WithStream(h, [](TStream& s) { return s.Size(); }); }
int64_t CbRead(TKestStreamHandle h, void* buf, int64_t n) {
  if (!buf || n <= 0) return 0;
  return WithStream(h, [&](TStream& s) { return s.Read(buf, n); });
}
int64_t CbGetPos(TKestStreamHandle h) { return WithStream(h, [](TStream& s) { return s.Position(); }); }
int64_t CbSetPos(TKestStreamHandle h, int64_t p) {
  return WithStream(h, [&](TStream& s) {
    s.SetPosition(p);
    return s.Position();
  });
}

}  // namespace

TKestDll& TKestDll::Instance() {
  static TKestDll d;
  return d;
}

bool TKestDll::Verify(int32_t version, TMessageBoxes& boxes) {
  if (version == kVersion) return true;
  boxes.Show(kestdlltext::kCaption, kestdlltext::kBadVersion, TMsgButtons::Ok, TMsgIcon::Warning);
  return false;
}

void TKestDll::Init(const TKestInitParams& params) {
  params_ = params;
  started_ = true;
}

void TKestDll::Final() {
  started_ = false;
  oggThread_ = false;
  TStreamTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  t.streams.clear();
}

TKestStreamHandle TKestDll::OpenStream(std::unique_ptr<TStream> s) {
  if (!s) return 0;
  TStreamTable& t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  TKestStreamHandle h = t.next++;
  if (t.next <= 0) t.next = 1;
  t.streams[h] = std::move(s);
  return h;
}

void TKestDll::CloseStream(TKestStreamHandle h) {
  TStreamTable& t = Table();
  std::unique_ptr<TStream> gone;
  {
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.streams.find(h);
    if (it == t.streams.end()) return;
    gone = std::move(it->second);
    t.streams.erase(it);
  }
}

TKestStreamCallbacks TKestDll::Callbacks() { return {CbSize, CbRead, CbGetPos, CbSetPos}; }

}  // namespace kest
