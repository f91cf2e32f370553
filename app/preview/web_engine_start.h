#pragma once

// The web engine's start. Chromium starts in the process when the first web profile is made, on the UI thread (the
// only thread it may start on): its browser side, and before it returns, its zygote (the process renderers are
// forked from) must have booted. The preview starts it in an event-loop turn of its own, before the view is made,
// and with settings that keep the start short:
// - where the sandbox is off (as root, or by QTWEBENGINE_DISABLE_SANDBOX or --no-sandbox), no zygote at all:
//   renderers are started from the engine's launcher thread, and the UI thread no longer waits for a process to
//   boot (two zygotes booting were most of the start);
// - where the sandbox is on, only the sandboxed zygote (the unsandboxed one starts helper processes this program
//   never runs, which are then started directly);
// - where there is no GPU device (/dev/dri, /dev/nvidia*), so that OpenGL would be Mesa's software rasterizer, the
//   web view draws with Qt Quick's software renderer: its first paint then compiles no shaders.
// The user's own QTWEBENGINE_CHROMIUM_FLAGS, QT_QUICK_BACKEND or QSG_RHI_BACKEND are kept. The flags are set only
// while the engine starts (programs this one starts later do not inherit them).

#include <QByteArray>

namespace quorra {

// The Chromium flags the start adds to the user's (space-separated, as QTWEBENGINE_CHROMIUM_FLAGS takes them):
// sandboxOff names the sandbox's state.
QByteArray WebEngineStartFlags(const QByteArray& userFlags, bool sandboxOff);

// Whether the web view draws with Qt Quick's software renderer: the user chose no backend, and no GPU device exists
// under the folder given (normally "/dev").
bool UseSoftwareWebRendering(const char* deviceFolder = "/dev");

// Starts the web engine, once per process (later calls return at once). Runs on the UI thread, after the
// QApplication exists.
void StartWebEngine();
bool WebEngineStarted();

} // namespace quorra
