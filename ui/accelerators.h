// An accelerator table for a top-level window's message loops: the keys that become commands
// (WM_COMMAND with 1 as notification, which raises OnMenuItemClick) before any control sees them.
#pragma once

#include <windows.h>

#include <span>

#include "tasks/unique_handle.h"
#include "ui/window_object.h"

using UniqueAccelerators = UniqueResource<HACCEL, DestroyAcceleratorTable>;

// Handed to TopLevelWindow::SetAcceleratorTable. The object owns its table; the window's counted
// reference may outlive it, so the table is taken off the record before it is destroyed.
class Accelerators final : public WindowObject {
public:
    Accelerators() = default;
    ~Accelerators() override;

    // Replaces the table by one with these keys; false when the system refused it.
    [[nodiscard]] bool Create(std::span<const ACCEL> keys);

private:
    UniqueAccelerators table_;
};
