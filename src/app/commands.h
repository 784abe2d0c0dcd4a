// The command table: every menu item, button and list notification of the
// main window, routed to its operation.
#pragma once

// Returns false for an identifier (or notification) the table does not hold,
// which then gets the default dialog processing.
bool dispatchCommand(int id, int notification);
