// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interface: the main window, the web window and the preferences panel, built from their
// Designer files, with the controller's outlets connected and every control wired.
class LexoraAppDelegate;

// Creates the windows and the controller and connects them; the application object owns the
// controller from then on. Returns the controller.
LexoraAppDelegate* loadMainInterface();
