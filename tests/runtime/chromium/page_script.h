// The script put into every document before its own scripts run: the page's
// side of WebView2's web messages (window.chrome.webview), and the reports
// of what DevTools does not tell us (title and fullscreen changes,
// window.close()), and the permission requests the browser itself would
// only show as prompts.
#pragma once

namespace standin {

// The binding through which the script reports to the runtime.
inline constexpr char kBindingName[] = "__kilnRuntime";
// Delivers a message from Kiln to the page's "message" listeners.
inline constexpr char kDeliverFunction[] = "__kilnDeliver";
// Lets a permission-gated call go on once Kiln has answered for it.
inline constexpr char kPermissionSettledFunction[] = "__kilnPermissionSettled";

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

  // A call that needs a permission the browser would prompt for first asks
  // the host, as WebView2 raises PermissionRequested; the runtime applies
  // the answer to the browser, and then the call goes on. Permissions
  // already granted or denied are not asked for again.
  let lastAsk = 0;
  const asks = new Map();
  Object.defineProperty(window, '__kilnPermissionSettled', {
    value: (id) => {
      const settled = asks.get(id);
      asks.delete(id);
      if (settled) settled();
    },
  });
  const undecided = async (names) => {
    const open = [];
    for (const name of names) {
      try {
        if ((await navigator.permissions.query({name})).state !== 'prompt') continue;
      } catch (error) {}
      open.push(name);
    }
    return open;
  };
  const ask = async (names) => {
    const user = Boolean(navigator.userActivation && navigator.userActivation.isActive);
    const open = await undecided(names);
    if (open.length === 0) return;
    await new Promise((settled) => {
      const id = ++lastAsk;
      asks.set(id, settled);
      report({kind: 'permission', id, permissions: open, origin: location.origin, source: String(location.href), user});
    });
  };
  const guard = (owner, name, namesFor, callbacks) => {
    const original = owner && owner[name];
    if (typeof original !== 'function') return;
    owner[name] = function (...args) {
      const asked = ask(namesFor(...args));
      if (callbacks) {
        asked.then(() => original.apply(this, args));
        return undefined;
      }
      return asked.then(() => original.apply(this, args));
    };
  };
  if (window.Notification) guard(Notification, 'requestPermission', () => ['notifications']);
  if (navigator.mediaDevices) {
    guard(navigator.mediaDevices, 'getUserMedia', (constraints) => [
      ...(constraints && constraints.video ? ['camera'] : []),
      ...(constraints && constraints.audio ? ['microphone'] : [])]);
  }
  if (navigator.geolocation) guard(navigator.geolocation, 'getCurrentPosition', () => ['geolocation'], true);
  if (navigator.clipboard) {
    guard(navigator.clipboard, 'readText', () => ['clipboard-read']);
    guard(navigator.clipboard, 'read', () => ['clipboard-read']);
  }
})();)js";

}  // namespace standin
