#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/HotKeyRegistrar.h"

// Hot keys held by the program; the test presses them with `press`.
class FakeHotKeyRegistrar final : public HotKeyRegistrar {
 public:
  Subscription registerHotKey(HotKeyChord chord, std::function<void()> pressed) override {
    if (refuses_) return {};
    const uint64_t id = state_->next++;
    state_->registrations.emplace(id, Registration{chord, std::move(pressed)});
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (auto state = weak.lock()) state->registrations.erase(id);
    });
  }

  // Another program holds every chord.
  void refuse(bool refuse = true) { refuses_ = refuse; }

  // The user presses `chord`: every registration of it is told, synchronously.
  void press(HotKeyChord chord) {
    std::vector<std::function<void()>> handlers;
    for (const auto& [id, registration] : state_->registrations) {
      if (registration.chord == chord) handlers.push_back(registration.pressed);
    }
    for (auto& handler : handlers) handler();
  }

  std::vector<HotKeyChord> registered() const {
    std::vector<HotKeyChord> chords;
    for (const auto& [id, registration] : state_->registrations)
      chords.push_back(registration.chord);
    return chords;
  }

 private:
  struct Registration {
    HotKeyChord chord;
    std::function<void()> pressed;
  };
  struct State {
    uint64_t next = 0;
    std::map<uint64_t, Registration> registrations;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  bool refuses_ = false;
};
