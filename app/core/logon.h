#pragma once

class QWidget;
class ServerConnection;

// Logging a user on at the router, with the settings' credentials or through the log-on dialog.

/// Asks for a name and password until the router accepts a user whose access list grants this
/// program, or the user cancels; each rejection is explained in a message box owned by
/// \a owner. The values typed are kept in the settings (in memory). True when a user is logged
/// on.
bool LogOnWithDialog(QWidget *owner, ServerConnection &router);

/// Logs the user stored in the settings on, without any window or message.
void LogOnSilently(ServerConnection &router);
