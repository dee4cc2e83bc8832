// The script put into every document before its own scripts run: the page's
// side of WebView2's web messages (window.chrome.webview), and the reports
// of what DevTools does not tell us (title and fullscreen changes,
// window.close()).
#pragma once

namespace standin {

// The binding through which the script reports to the runtime.
inline constexpr char kBindingName[] = "__kilnRuntime";
// Delivers a message from Kiln to the page's "message" listeners.
inline constexpr char kDeliverFunction[] = "__kilnDeliver";

inline constexpr char kPageScript[] = R"js((() => {
  // DevTools installs the binding once the document's context is ready,
  // which may be after this script runs.
  const report = (what) => {
    const binding = window.__kilnRuntime;
    if (typeof binding === 'function') binding(JSON.stringify(what));
  };
  const events = new EventTarget();
  const webview = {
    postMessage(value) {
      const source = String(location.href);
      if (typeof value === 'string') {
        report({kind: 'message', source, string: value});
      } else {
        const text = JSON.stringify(value);
        report({kind: 'message', source, json: text === undefined ? 'null' : text});
      }
    },
    addEventListener: (type, listener, options) => events.addEventListener(type, listener, options),
    removeEventListener: (type, listener, options) => events.removeEventListener(type, listener, options),
  };
  if (!window.chrome) window.chrome = {};
  Object.defineProperty(window.chrome, 'webview', {value: webview, enumerable: true});
  if (window.top !== window) return;
  Object.defineProperty(window, '__kilnDeliver', {
    value: (text) => events.dispatchEvent(new MessageEvent('message', {data: JSON.parse(text)})),
  });
  window.close = () => report({kind: 'close'});
  let title = null;
  const noteTitle = () => {
    if (document.title === title) return;
    title = document.title;
    report({kind: 'title', title});
  };
  new MutationObserver(noteTitle).observe(document, {subtree: true, childList: true, characterData: true});
  document.addEventListener('fullscreenchange',
    () => report({kind: 'fullscreen', on: document.fullscreenElement !== null}));
})();)js";

}  // namespace standin
