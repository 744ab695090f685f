#pragma once

// One way to hand a C++ callable to GLib: signals, idle and timeout sources
// and asynchronous results. GLib owns the callable and frees it through a
// destroy notify; an exception never unwinds into GLib's C frames.

#include <gio/gio.h>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace mlfk::glib {

// Runs `f`; an exception is logged and swallowed, since it cannot cross the
// C frames that called us. Returns a value-initialised result then.
template <typename F, typename... A>
auto guarded(F&& f, A&&... args) noexcept -> std::invoke_result_t<F&, A...> {
  using R = std::invoke_result_t<F&, A...>;
  try {
    return f(std::forward<A>(args)...);
  } catch (const std::exception& e) {
    g_critical("uncaught exception in a callback: %s", e.what());
  } catch (...) {
    g_critical("uncaught exception in a callback");
  }
  if constexpr (!std::is_void_v<R>) return R{};
}

// A C callback that runs `Function` under guarded(), for handlers
// connected the plain GLib way with their owner as user data.
template <auto Function>
struct Guarded;
template <typename R, typename... A, R (*Function)(A...)>
struct Guarded<Function> {
  static R call(A... args) { return guarded(Function, args...); }
};

template <typename Signature>
struct Handler;

// A handler for a signal whose C callback takes `Args...` then the user data.
template <typename R, typename... Args>
struct Handler<R(Args...)> {
  using Function = std::function<R(Args...)>;
  static R call(Args... args, gpointer data) {
    return guarded(*static_cast<Function*>(data), args...);
  }
  static void destroy(gpointer data, GClosure*) { delete static_cast<Function*>(data); }
};

// Connects `handler` (whose parameters are the signal's, the instance first)
// to `instance`'s `signal`. The connection and the handler end with the
// instance, or earlier with `lifetime` when given.
template <typename Signature, typename F>
gulong connect(gpointer instance, const char* signal, F handler, GObject* lifetime = nullptr) {
  using H = Handler<Signature>;
  GClosure* closure = g_cclosure_new(G_CALLBACK(&H::call),
                                     new typename H::Function(std::move(handler)), &H::destroy);
  if (lifetime) g_object_watch_closure(lifetime, closure);
  return g_signal_connect_closure(instance, signal, closure, FALSE);
}

namespace detail {
inline gboolean runOnce(gpointer data) {
  guarded(*static_cast<std::function<void()>*>(data));
  return G_SOURCE_REMOVE;
}
inline void release(gpointer data) {
  delete static_cast<std::function<void()>*>(data);
}
}  // namespace detail

// Runs `task` once on a later turn of the main loop. The returned id removes
// it (and frees it) when given to g_source_remove before it has run.
inline guint idleOnce(std::function<void()> task) {
  return g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, detail::runOnce,
                         new std::function<void()>(std::move(task)), detail::release);
}

inline guint timeoutOnce(std::chrono::milliseconds delay, std::function<void()> task) {
  return g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()), detail::runOnce,
                            new std::function<void()>(std::move(task)), detail::release);
}

// The user data of a GAsyncReadyCallback: `done` runs exactly once, with the
// source object and the result, and is freed after.
using AsyncDone = std::function<void(GObject*, GAsyncResult*)>;
inline gpointer asyncData(AsyncDone done) {
  return new AsyncDone(std::move(done));
}
inline void asyncReady(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<AsyncDone> done(static_cast<AsyncDone*>(data));
  guarded(*done, source, result);
}

}  // namespace mlfk::glib
