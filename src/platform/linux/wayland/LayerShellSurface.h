#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/linux/wayland/UniqueFd.h"

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;

namespace wrenly {

// A panel of fixed size in the compositor's overlay layer: above every window, fullscreen ones
// too, on no workspace, never given the keyboard, and with an empty input region, so that every
// click goes to the window beneath. Its pixels are drawn by the caller into shared memory.
//
// It has a connection of its own to the compositor, served on the caller's thread: watch
// `connectionFd()` and call `dispatch()` when it is readable. Every call is made on that thread.
class LayerShellSurface {
 public:
  struct Placement {
    int width = 0;
    int height = 0;
    int bottomMargin = 0;  // above the bottom edge of the area the compositor leaves free
  };

  // None when no compositor answers at WAYLAND_DISPLAY or it offers no layer shell.
  static std::unique_ptr<LayerShellSurface> open(Placement placement);
  ~LayerShellSurface();
  LayerShellSurface(const LayerShellSurface&) = delete;
  LayerShellSurface& operator=(const LayerShellSurface&) = delete;

  int connectionFd() const;
  // Handles what the compositor sent; false once the connection is broken.
  bool dispatch();

  // Puts the panel up with the next presented frame; the compositor picks the output.
  void show();
  // Takes it down; the frames drawn so far are forgotten.
  void hide();
  bool shown() const { return layer_ != nullptr; }

  // Where to draw the next frame: premultiplied ARGB in native byte order, rows of width × 4
  // bytes. Null while the compositor still reads every buffer; `onReady` follows when one comes
  // back.
  uint32_t* nextFrame();
  // Shows the frame drawn last (at once, or as soon as the compositor has placed the panel).
  void present();
  // Called when a frame is wanted: the panel was placed with nothing to show yet, or a buffer
  // came back after `nextFrame()` found none free.
  void onReady(std::function<void()> ready) { ready_ = std::move(ready); }

 private:
  struct Buffer {
    wl_buffer* buffer = nullptr;
    uint32_t* pixels = nullptr;
    bool busy = false;  // the compositor may still read it
  };

  LayerShellSurface(wl_display* display, Placement placement)
      : display_(display), placement_(placement) {}
  bool makeBuffers();
  void commit(int buffer);
  void wantFrame();
  static void global(void* self, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version);
  static void configured(void* self, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                         uint32_t height);
  static void closed(void* self, zwlr_layer_surface_v1* layer);
  static void released(void* self, wl_buffer* buffer);

  wl_display* display_;
  Placement placement_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* shell_ = nullptr;
  UniqueFd memory_;
  void* mapped_ = nullptr;
  std::size_t mappedSize_ = 0;
  std::array<Buffer, 2> buffers_;  // one shown, one drawn into
  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layer_ = nullptr;
  bool configured_ = false;
  int drawn_ = -1;        // the buffer of the last nextFrame(), until presented
  int waiting_ = -1;      // presented before the compositor placed the panel
  bool starved_ = false;  // nextFrame() found every buffer busy
  std::function<void()> ready_;
};

}  // namespace wrenly
