// What the extension services need from the web view host: posting a message
// to the page and the user data folder. KilnWebView implements it; the unit
// tests use a fake.
#pragma once

#include <string>

#include "bridge/outgoing_messages.h"

namespace kiln {

class WebViewHost {
 public:
  // Turns the values into an "extension-message" (BuildExtensionMessage) and
  // posts it to the page. Drops the message while the web view does not
  // exist yet. May throw (for example on text that is not valid UTF-8); the
  // caller catches.
  virtual void PostExtensionMessage(const std::string& componentId, const std::string& messageId,
                                    const OutgoingValues& values, double asyncId) = 0;

  // The web view's user data folder, UTF-8; never changes while it exists.
  virtual const std::string& UserDataFolder() const = 0;

 protected:
  ~WebViewHost() = default;
};

}  // namespace kiln
