// Everything the connect controller shows or asks: the main window, its status view, alerts and prompts.
#pragma once

#include <cstdint>
#include <string>

namespace zavro {

struct Alert {
  enum class Style { Critical, Informational };
  Style style = Style::Critical;
  std::string title;
  std::string message;
  std::string defaultButton;
  std::string otherButton;  // empty: the alert has one button
};

enum class AlertButton { Default, Other };

// The window side of the connect controller. Every call comes on the main thread; runAlert() and
// loginPrompt() are modal and return once the user has answered.
class ConnectView {
 public:
  virtual ~ConnectView() = default;

  // The main window: collapsed to the status view while a connection is made or up, full size otherwise.
  virtual void collapseWindow() = 0;
  virtual void expandWindow() = 0;
  virtual void setConnectButtonTitle(const std::string& title) = 0;
  virtual void setConnectButtonEnabled(bool enabled) = 0;

  // The status view.
  virtual void setConnectName(const std::string& name) = 0;
  virtual void setStatus(const std::string& text) = 0;
  virtual void setConnectTime(std::uint32_t seconds, bool connected) = 0;
  virtual void setCanRedial(bool enabled) = 0;
  virtual void setCanDialAnother(bool enabled) = 0;
  virtual void setCanCancel(bool enabled) = 0;
  virtual void setCancelButtonTitle(const std::string& title) = 0;

  virtual AlertButton runAlert(const Alert& alert) = 0;
  // Asks for the missing login data and stores it in the user preferences; false when the user cancelled.
  virtual bool loginPrompt() = 0;
  // Ends the application (after the controller has disconnected when asked to quit while connected).
  virtual void terminateApplication() = 0;
};

}  // namespace zavro
