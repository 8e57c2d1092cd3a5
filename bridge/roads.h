// What the bridge's roads share: the progress run of a long operation, the
// walk over a list with one outer progress, and the guard that keeps an
// exception from leaving the bridge.
#pragma once

#include <new>
#include <utility>

#include <windows.h>

#include "VLMGUI.h"

namespace bridge {

// One progress window per long operation: made whatever the flag says, and
// driven (maximum, start, a step of 1.0 per item, end) only when it is on.
class ProgressRun {
 public:
  ProgressRun(const wchar_t* title, int show) : progress_(title, L"", 0.0, 100.0, nullptr), show_(show != 0) {}
  void Start(int count) {
    if (!show_) return;
    progress_.SetMax(count);
    progress_.StartProgress();
  }
  void Step() {
    if (show_) progress_.StepIt(1.0);
  }
  void Status(const wchar_t* text) {
    if (show_) progress_.SetStatus(text);
  }
  void End() {
    if (show_) progress_.EndProgress();
  }

 private:
  VLMProgress progress_;
  bool show_;
};

// Each of `count` items under one progress run titled `title`, stepped
// before its item. An item that answers 0 ends the walk at once with 0,
// the progress left unended; else 1 after the last.
template <class Item>
int EachItem(const wchar_t* title, int count, int show, Item&& item) {
  ProgressRun progress(title, show);
  progress.Start(count);
  for (int i = 0; i < count; ++i) {
    progress.Step();
    if (!item(i)) return 0;
  }
  progress.End();
  return 1;
}

// A host call's result, passed on; a host out of memory is the bridge's own
// running out of it (thrown as such), never a missing face, body or entity.
inline HRESULT HostChecked(HRESULT hr) {
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  return hr;
}

// Runs `step`; an exception (out of memory above all) becomes `failed`,
// after `caught` has been told whether memory ran out.
template <class R, class Step, class Caught>
R Contain(R failed, Step&& step, Caught&& caught) noexcept {
  try {
    return std::forward<Step>(step)();
  } catch (const std::bad_alloc&) {
    caught(true);
  } catch (...) {
    caught(false);
  }
  return failed;
}

template <class R, class Step>
R Contain(R failed, Step&& step) noexcept {
  return Contain(failed, std::forward<Step>(step), [](bool) noexcept {});
}

}  // namespace bridge
