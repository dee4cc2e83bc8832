// kiln.js: the page's side of Kiln. Load it as a classic script
// (<script src="kiln.js">) or from a module (import "./kiln.js"); either way
// it defines one global, Kiln, and listens for Kiln's messages once.
//
// Kiln keeps no record of the page's requests: an extension marks its answer
// with the asyncId of the request, and this file matches the two. Outside
// Kiln (the same page opened in a browser) nothing throws at load; every
// call rejects with "not running in Kiln".
(function (root) {
  "use strict";
  const host = root.chrome && root.chrome.webview;
  const notInKiln = () => Promise.reject(new Error("not running in Kiln"));
  const pending = new Map(); // componentId + "\n" + asyncId -> the call waiting for it
  const handlers = new Map(); // componentId + "\n" + messageId -> Set of handlers
  let lastAsyncId = 0;
  let ready = null;
  let whenReady = null;

  const post = (message) => host.postMessage(JSON.stringify(message));

  // Host messages arrive already parsed (Kiln posts them as JSON).
  if (host) {
    host.addEventListener("message", (event) => {
      const message = event.data;
      if (!message || typeof message !== "object") return;
      if (message.type === "wrapper-init-response") {
        if (whenReady) whenReady(message.registeredComponentIds || []);
        whenReady = null;
        return;
      }
      if (message.type !== "extension-message") return;
      const params = message.params || {};
      const key = message.componentId + "\n" + message.asyncId;
      const call = pending.get(key);
      if (call) {
        pending.delete(key);
        clearTimeout(call.timer);
        call.resolve(params);
        return;
      }
      for (const handler of [...(handlers.get(message.componentId + "\n" + message.messageId) || [])]) {
        try {
          handler(params, message);
        } catch (error) {
          setTimeout(() => { throw error; });  // to the console, without stopping the other handlers
        }
      }
    });
  }

  // What the protocol carries: finite numbers, strings, booleans and null.
  const refusal = (value) => {
    if (value === null || typeof value === "string" || typeof value === "boolean") return "";
    if (typeof value === "number") return isFinite(value) ? "" : String(value);
    return Array.isArray(value) ? "an array" : typeof value === "object" ? "an object" : typeof value;
  };

  function call(componentId, messageId, ...params) {
    const last = params[params.length - 1];
    const options = last && typeof last === "object" && !Array.isArray(last) &&
      Object.keys(last).join() === "timeout" ? params.pop() : {};
    const what = "Kiln.call(" + JSON.stringify(componentId) + ", " + JSON.stringify(messageId) + ")";
    if (!componentId || typeof componentId !== "string" || !messageId || typeof messageId !== "string") {
      return Promise.reject(new TypeError(what + ": the component id and message id must be non-empty strings"));
    }
    for (let i = 0; i < params.length; i++) {
      const refused = refusal(params[i]);
      if (refused) {
        return Promise.reject(new TypeError(what + ": parameter " + (i + 1) + " is " + refused +
          "; Kiln carries only numbers, strings, booleans and null"));
      }
    }
    if (!host) return notInKiln();
    const asyncId = ++lastAsyncId;
    const key = componentId + "\n" + asyncId;
    return new Promise((resolve, reject) => {
      const waiting = { resolve };
      if (options.timeout > 0) {
        waiting.timer = setTimeout(() => {
          pending.delete(key);
          reject(new Error(what + ": no answer within " + options.timeout + " ms"));
        }, options.timeout);
      }
      pending.set(key, waiting);
      post({ type: "extension-message", componentId, messageId, asyncId, params });
    });
  }

  function on(componentId, messageId, handler) {
    const key = componentId + "\n" + messageId;
    if (!handlers.has(key)) handlers.set(key, new Set());
    const set = handlers.get(key);
    const entry = (...args) => handler(...args);  // the same handler twice is two subscriptions
    set.add(entry);
    return () => {
      set.delete(entry);
      if (!set.size && handlers.get(key) === set) handlers.delete(key);
    };
  }

  // Window operations have no answer: they resolve once sent.
  const windowMessage = (message, numbers) => {
    for (const name of numbers) {
      if (typeof message[name] !== "number" || !isFinite(message[name])) {
        return Promise.reject(new TypeError("Kiln.window: " + name + " must be a finite number"));
      }
    }
    if (!host) return notInKiln();
    post(message);
    return Promise.resolve();
  };

  // Kiln's first-party saves extension: named texts kept beside the app.
  const saves = (messageId, params) =>
    call("kiln-saves", messageId, ...params).then((answer) => {
      if (answer.ok !== true) throw new Error(answer.error || "kiln-saves: " + messageId + " failed");
      return answer;
    });

  const Kiln = {
    available: !!host,
    get ready() {
      if (!ready) {
        ready = host ? new Promise((resolve) => { whenReady = resolve; }) : notInKiln();
        if (host) post({ type: "wrapper-init" });
      }
      return ready;
    },
    call,
    on,
    window: {
      setFullscreen: (on) => windowMessage({ type: "set-fullscreen", fullscreen: on === true }, []),
      setSize: (windowWidth, windowHeight) =>
        windowMessage({ type: "set-window-size", windowWidth, windowHeight }, ["windowWidth", "windowHeight"]),
      setPosition: (windowX, windowY) =>
        windowMessage({ type: "set-window-position", windowX, windowY }, ["windowX", "windowY"]),
    },
    saves: {
      write: (name, text) => saves("write", [name, text]).then(() => undefined),
      read: (name) => saves("read", [name]).then((answer) => (typeof answer.text === "string" ? answer.text : null)),
      list: () => saves("list", []).then((answer) => (answer.names ? String(answer.names).split("\n") : [])),
      remove: (name) => saves("remove", [name]).then((answer) => answer.removed === true),
    },
  };

  root.Kiln = Kiln;
})(typeof globalThis === "object" ? globalThis : this);
