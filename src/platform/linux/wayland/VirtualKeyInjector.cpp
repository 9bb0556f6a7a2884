#include "platform/linux/wayland/VirtualKeyInjector.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/linux/wayland/UniqueFd.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace wrenly {

namespace {

// The key that gives `symbol` without modifiers on the first layout: on another layout a
// fixed code is another key.
uint32_t keyFor(xkb_keymap* keymap, xkb_keysym_t symbol) {
  for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap);
       ++key) {
    const xkb_keysym_t* symbols = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &symbols);
    for (int i = 0; i < count; ++i) {
      if (symbols[i] == symbol) return key;
    }
  }
  return 0;
}

// The compositor maps the keymap from a file descriptor; a sealed memory file is one.
UniqueFd keymapFile(const std::string& text) {
  UniqueFd file(memfd_create("wrenly-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!file) return {};
  const size_t size = text.size() + 1;  // the terminating NUL is part of the keymap
  if (::write(file.get(), text.c_str(), size) != static_cast<ssize_t>(size)) return {};
  return file;
}

uint32_t milliseconds() {
  // A time stamp for the events, not a wait: applications only compare them with each other.
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

void VirtualKeyInjector::XkbFree::operator()(xkb_context* context) const {
  xkb_context_unref(context);
}
void VirtualKeyInjector::XkbFree::operator()(xkb_keymap* keymap) const {
  xkb_keymap_unref(keymap);
}
void VirtualKeyInjector::XkbFree::operator()(xkb_state* state) const {
  xkb_state_unref(state);
}

std::unique_ptr<VirtualKeyInjector> VirtualKeyInjector::open(WaylandConnection& connection,
                                                             TerminalCheck isTerminal) {
  if (!connection.keyboards() || !connection.seat()) return nullptr;
  std::unique_ptr<VirtualKeyInjector> injector(
      new VirtualKeyInjector(connection, std::move(isTerminal)));
  injector->context_.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
  if (!injector->context_) return nullptr;
  // No names: the layout the environment names (XKB_DEFAULT_LAYOUT, …), else the system's. A
  // layout without a Latin V (Cyrillic, Greek) gives way to US English: applications read our
  // keys with this keyboard's own keymap, whatever the user's keyboards use.
  const xkb_rule_names latin{
      .rules = nullptr, .model = nullptr, .layout = "us", .variant = nullptr, .options = nullptr};
  for (const xkb_rule_names* names : {static_cast<const xkb_rule_names*>(nullptr), &latin}) {
    injector->keymap_.reset(
        xkb_keymap_new_from_names(injector->context_.get(), names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!injector->keymap_) continue;
    xkb_keymap* keymap = injector->keymap_.get();
    injector->keys_ = {keyFor(keymap, XKB_KEY_Control_L), keyFor(keymap, XKB_KEY_Shift_L),
                       keyFor(keymap, XKB_KEY_v)};
    const Keys& keys = injector->keys_;
    if (keys.control && keys.shift && keys.v) break;
    injector->keymap_.reset();
  }
  if (!injector->keymap_) return nullptr;
  xkb_keymap* keymap = injector->keymap_.get();
  injector->state_.reset(xkb_state_new(keymap));
  if (!injector->state_) return nullptr;

  std::unique_ptr<char, decltype(&std::free)> text(
      xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
  if (!text) return nullptr;
  const std::string keymapText(text.get());
  UniqueFd file = keymapFile(keymapText);
  if (!file) return nullptr;
  injector->keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
      connection.keyboards(), connection.seat());
  zwp_virtual_keyboard_v1_keymap(injector->keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file.get(),
                                 static_cast<uint32_t>(keymapText.size() + 1));
  if (!connection.flush()) return nullptr;
  return injector;
}

VirtualKeyInjector::~VirtualKeyInjector() {
  if (!keyboard_) return;
  pasteKeyUp();
  zwp_virtual_keyboard_v1_destroy(keyboard_);
  connection_.flush();
}

bool VirtualKeyInjector::pasteKeyDown(int32_t processID) {
  pasteKeyUp();
  // The user's own held modifiers are on their keyboard, not this one: the compositor applies
  // this keyboard's modifiers to its keys, so there is nothing of theirs to release first.
  std::vector<uint32_t> keys{keys_.control};
  if (isTerminal_ && isTerminal_(processID)) keys.push_back(keys_.shift);
  keys.push_back(keys_.v);
  for (uint32_t key : keys) send(key, true);
  pressed_ = std::move(keys);
  return connection_.flush();
}

void VirtualKeyInjector::pasteKeyUp() {
  if (pressed_.empty()) return;
  for (auto key = pressed_.rbegin(); key != pressed_.rend(); ++key) send(*key, false);
  pressed_.clear();
  connection_.flush();
}

void VirtualKeyInjector::send(uint32_t key, bool down) {
  // Wayland key events carry evdev codes, XKB's less 8.
  zwp_virtual_keyboard_v1_key(
      keyboard_, milliseconds(), key - 8,
      down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
  xkb_state_update_key(state_.get(), key, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  xkb_state* state = state_.get();
  zwp_virtual_keyboard_v1_modifiers(keyboard_,
                                    xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                                    xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
                                    xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
                                    xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE));
}

}  // namespace wrenly
