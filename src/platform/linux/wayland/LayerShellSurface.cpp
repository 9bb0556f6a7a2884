#include "platform/linux/wayland/LayerShellSurface.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

// One of the protocol's arguments is called `namespace`, which C++ does not take as a name.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace wrenly {

namespace {

constexpr const char* surfaceNamespace = "wrenly-overlay";

}  // namespace

std::unique_ptr<LayerShellSurface> LayerShellSurface::open(Placement placement) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  std::unique_ptr<LayerShellSurface> surface(new LayerShellSurface(display, placement));
  static const wl_registry_listener listener{.global = &LayerShellSurface::global,
                                             .global_remove = [](void*, wl_registry*, uint32_t) {}};
  surface->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(surface->registry_, &listener, surface.get());
  if (wl_display_roundtrip(display) < 0) return nullptr;
  if (!surface->compositor_ || !surface->shm_ || !surface->shell_) return nullptr;
  if (!surface->makeBuffers()) return nullptr;
  return surface;
}

void LayerShellSurface::global(void* self, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
  auto& surface = *static_cast<LayerShellSurface*>(self);
  auto bind = [&](const wl_interface* wanted, uint32_t highest) {
    return wl_registry_bind(registry, name, wanted, std::min(version, highest));
  };
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    surface.compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 1));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    surface.shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    // Version 3 is all it needs (KWin offers no more): layer, anchor, margin, no keyboard.
    surface.shell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
  }
}

bool LayerShellSurface::makeBuffers() {
  const int stride = placement_.width * 4;
  const std::size_t frameSize = static_cast<std::size_t>(stride) * placement_.height;
  mappedSize_ = frameSize * buffers_.size();
  memory_ = UniqueFd(memfd_create(surfaceNamespace, MFD_CLOEXEC));
  if (!memory_ || ftruncate(memory_.get(), static_cast<off_t>(mappedSize_)) != 0) return false;
  mapped_ = mmap(nullptr, mappedSize_, PROT_READ | PROT_WRITE, MAP_SHARED, memory_.get(), 0);
  if (mapped_ == MAP_FAILED) {
    mapped_ = nullptr;
    return false;
  }
  static const wl_buffer_listener listener{.release = &LayerShellSurface::released};
  wl_shm_pool* pool = wl_shm_create_pool(shm_, memory_.get(), static_cast<int32_t>(mappedSize_));
  for (std::size_t i = 0; i < buffers_.size(); ++i) {
    Buffer& buffer = buffers_[i];
    buffer.pixels = reinterpret_cast<uint32_t*>(static_cast<char*>(mapped_) + i * frameSize);
    buffer.buffer =
        wl_shm_pool_create_buffer(pool, static_cast<int32_t>(i * frameSize), placement_.width,
                                  placement_.height, stride, WL_SHM_FORMAT_ARGB8888);
    wl_buffer_add_listener(buffer.buffer, &listener, this);
  }
  // The buffers keep the memory; the pool is needed only to make them.
  wl_shm_pool_destroy(pool);
  return wl_display_flush(display_) >= 0;
}

LayerShellSurface::~LayerShellSurface() {
  hide();
  for (Buffer& buffer : buffers_) {
    if (buffer.buffer) wl_buffer_destroy(buffer.buffer);
  }
  if (mapped_) munmap(mapped_, mappedSize_);
  if (shell_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell_));
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
}

int LayerShellSurface::connectionFd() const {
  return wl_display_get_fd(display_);
}

bool LayerShellSurface::dispatch() {
  // Called when the connection is readable, so reading does not block.
  if (wl_display_dispatch(display_) < 0) return false;
  return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

void LayerShellSurface::show() {
  if (layer_) return;
  surface_ = wl_compositor_create_surface(compositor_);
  // An empty input region: the pointer and its clicks go to whatever is beneath.
  wl_region* nothing = wl_compositor_create_region(compositor_);
  wl_surface_set_input_region(surface_, nothing);
  wl_region_destroy(nothing);
  layer_ = zwlr_layer_shell_v1_get_layer_surface(
      shell_, surface_, nullptr, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, surfaceNamespace);
  static const zwlr_layer_surface_v1_listener listener{.configure = &LayerShellSurface::configured,
                                                       .closed = &LayerShellSurface::closed};
  zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
  zwlr_layer_surface_v1_set_size(layer_, static_cast<uint32_t>(placement_.width),
                                 static_cast<uint32_t>(placement_.height));
  zwlr_layer_surface_v1_set_anchor(layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM);
  zwlr_layer_surface_v1_set_margin(layer_, 0, 0, placement_.bottomMargin, 0);
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  // The first commit carries no buffer: the compositor answers with where the panel goes.
  wl_surface_commit(surface_);
  wl_display_flush(display_);
}

void LayerShellSurface::hide() {
  if (!layer_) return;
  zwlr_layer_surface_v1_destroy(layer_);
  wl_surface_destroy(surface_);
  layer_ = nullptr;
  surface_ = nullptr;
  configured_ = false;
  drawn_ = waiting_ = -1;
  // The compositor lets go of a destroyed surface's buffer without a release event.
  for (Buffer& buffer : buffers_) buffer.busy = false;
  wl_display_flush(display_);
}

uint32_t* LayerShellSurface::nextFrame() {
  for (int i = 0; i < static_cast<int>(buffers_.size()); ++i) {
    if (!buffers_[i].busy && i != waiting_) {
      drawn_ = i;
      return buffers_[i].pixels;
    }
  }
  starved_ = true;
  return nullptr;
}

void LayerShellSurface::present() {
  if (drawn_ < 0 || !layer_) return;
  const int buffer = std::exchange(drawn_, -1);
  if (configured_) {
    commit(buffer);
  } else {
    waiting_ = buffer;
  }
}

void LayerShellSurface::commit(int buffer) {
  buffers_[buffer].busy = true;
  wl_surface_attach(surface_, buffers_[buffer].buffer, 0, 0);
  wl_surface_damage(surface_, 0, 0, placement_.width, placement_.height);
  wl_surface_commit(surface_);
  wl_display_flush(display_);
}

void LayerShellSurface::wantFrame() {
  starved_ = false;
  if (ready_) ready_();
}

void LayerShellSurface::configured(void* self, zwlr_layer_surface_v1* layer, uint32_t serial,
                                   uint32_t, uint32_t) {
  // The size asked for is the size given: the panel anchors to one edge only.
  auto& surface = *static_cast<LayerShellSurface*>(self);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  if (surface.configured_) {
    wl_surface_commit(surface.surface_);
    return;
  }
  surface.configured_ = true;
  if (surface.waiting_ >= 0) {
    surface.commit(std::exchange(surface.waiting_, -1));
  } else {
    surface.wantFrame();
  }
}

void LayerShellSurface::closed(void* self, zwlr_layer_surface_v1*) {
  // The compositor took it down (its output went away): the next show starts again.
  static_cast<LayerShellSurface*>(self)->hide();
}

void LayerShellSurface::released(void* self, wl_buffer* released) {
  auto& surface = *static_cast<LayerShellSurface*>(self);
  for (Buffer& buffer : surface.buffers_) {
    if (buffer.buffer == released) buffer.busy = false;
  }
  if (surface.starved_) surface.wantFrame();
}

}  // namespace wrenly
