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


  // Kiln's first-party gamepad extension ("kiln-gamepad"): pads read in
  // Kiln's own process, where Steam Input applies a player's controller
  // configuration, shaped like the browser's Gamepad objects. Pads are live
  // objects: Kiln updates them in place as changes arrive.
  const gamepad = (() => {
    const component = "kiln-gamepad";
    const pads = new Map(); // XInput slot -> the page's pad, while connected
    const ours = new WeakSet(); // every pad object Kiln made
    let status = host ? "not started" : "not running in Kiln";
    let started = null;
    let browserGetGamepads = null; // the browser's own, once install() replaced it
    const stops = new WeakMap(); // pad -> ends its rumble, when the pad goes
    const now = () => (root.performance && root.performance.now ? root.performance.now() : Date.now());

    // The browser's view of an Xbox pad, which Kiln reads itself: Chromium's
    // ids say "XInput" or carry Microsoft's vendor id.
    const isXInput = (pad) => !ours.has(pad) && /xinput|vendor: ?045e|(^|[^0-9a-f])045e-/i.test(String(pad.id));
    const browserPads = () => {
      if (!browserGetGamepads) return [];
      let list = [];
      try { list = Array.from(browserGetGamepads() || []); } catch (error) { return []; }
      return list.filter((pad) => pad && !isXInput(pad));
    };

    const dispatch = (type, pad) => {
      if (typeof root.dispatchEvent !== "function" || typeof root.Event !== "function") return;
      const event = new root.Event(type);
      Object.defineProperty(event, "gamepad", { value: pad, enumerable: true });
      root.dispatchEvent(event);
    };

    const rumble = (slot, strong, weak, duration) =>
      call(component, "rumble", slot, strong, weak, duration).then((answer) => {
        if (answer.ok !== true) throw new Error(answer.error || "kiln-gamepad: rumble failed");
      });

    // vibrationActuator as Chromium's: one effect at a time, a new one or
    // reset() preempting the last; Kiln itself stops the motors after the
    // duration, also when the page is gone by then.
    const actuator = (pad, slot) => {
      let current = null;
      const end = (result) => {
        if (!current) return;
        const effect = current;
        current = null;
        effect.timers.forEach(clearTimeout);
        if (effect.playing && result === "preempted") rumble(slot, 0, 0, 0).catch(() => {});
        effect.resolve(result);
      };
      stops.set(pad, () => end("preempted"));
      return {
        type: "dual-rumble",
        effects: ["dual-rumble"],
        playEffect(type, params = {}) {
          if (type !== "dual-rumble") return Promise.reject(new TypeError("Kiln's pads play \"dual-rumble\" only"));
          const number = (name, fallback, max) => {
            const value = params[name] === undefined ? fallback : params[name];
            return typeof value === "number" && value >= 0 && value <= max ? value : NaN;
          };
          const duration = number("duration", 0, Infinity), startDelay = number("startDelay", 0, Infinity);
          const strong = number("strongMagnitude", 0, 1), weak = number("weakMagnitude", 0, 1);
          if ([duration, startDelay, strong, weak].some(isNaN)) {
            return Promise.reject(new TypeError("playEffect: duration and startDelay are 0 or more, " +
              "strongMagnitude and weakMagnitude 0 to 1"));
          }
          if (!pad.connected) return Promise.reject(new Error("playEffect: the pad is not connected"));
          end("preempted");
          return new Promise((resolve, reject) => {
            const effect = { resolve, timers: [], playing: false };
            current = effect;
            effect.timers.push(setTimeout(() => {
              effect.playing = true;
              rumble(slot, strong, weak, duration).catch((error) => {
                if (current === effect) { current = null; effect.timers.forEach(clearTimeout); reject(error); }
              });
              effect.timers.push(setTimeout(() => end("complete"), duration));
            }, startDelay));
          });
        },
        reset() {
          end("preempted");
          return Promise.resolve("complete");
        },
      };
    };

    // The lowest index no connected pad of Kiln's, nor a pad the browser
    // keeps, holds: what engines key their pads by stays unique.
    const freeIndex = () => {
      const placed = placeAll();
      let index = 0;
      while (placed[index]) index++;
      return index;
    };

    const apply = (pad, params) => {
      const pressed = Number(params.pressed) || 0;
      pad.buttons.forEach((button, i) => {
        const value = i === 6 ? Number(params.leftTrigger) || 0 : i === 7 ? Number(params.rightTrigger) || 0
          : (pressed >>> i) & 1;
        button.pressed = ((pressed >>> i) & 1) === 1;
        button.touched = button.pressed || value > 0;
        button.value = value;
      });
      for (let i = 0; i < 4; i++) pad.axes[i] = Number(params["axis" + i]) || 0;
      pad.timestamp = now();
    };

    const onPad = (params) => {
      const slot = params.slot;
      const known = pads.get(slot);
      if (params.connected !== true) {
        if (!known) return;
        pads.delete(slot);
        known.connected = false;
        stops.get(known)();
        dispatch("gamepaddisconnected", known);
        return;
      }
      if (known) {
        apply(known, params);
        return;
      }
      const pad = {
        id: "Xbox 360 Controller (XInput STANDARD GAMEPAD, read by Kiln)",
        index: freeIndex(),
        connected: true,
        mapping: "standard",
        buttons: Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 })),
        axes: [0, 0, 0, 0],
        timestamp: 0,
      };
      pad.vibrationActuator = actuator(pad, slot);
      ours.add(pad);
      apply(pad, params);
      pads.set(slot, pad);
      dispatch("gamepadconnected", pad);
    };

    const start = () => {
      if (!host) return Promise.reject(new Error("not running in Kiln"));
      if (!started) {
        status = "starting";
        on(component, "pad", onPad);
        started = Kiln.ready.then((ids) => {
          if (!ids.includes(component)) {
            status = "gamepad.ext.dll is not beside kiln.exe: no gamepads";
            return status;
          }
          return call(component, "start").then((answer) => {
            if (answer.ok !== true) throw new Error(answer.error || "kiln-gamepad: start failed");
            status = String(answer.status);
            return status;
          });
        });
        started.catch((error) => { status = "cannot start: " + error.message; });
      }
      return started;
    };

    const list = () => [...pads.values()].sort((a, b) => a.index - b.index);

    // Kiln's pads at their indices, and the browser's kept pads at theirs.
    // A browser pad that came later to an index one of Kiln's holds moves
    // to the lowest free index, and says so in its own index: a pad's index
    // is what engines key their pads by, and a Kiln pad keeps its own.
    const placeAll = () => {
      const placed = [];
      for (const pad of pads.values()) placed[pad.index] = pad;
      const displaced = [];
      for (const pad of browserPads()) {
        if (placed[pad.index]) displaced.push(pad); else placed[pad.index] = pad;
      }
      for (const pad of displaced) {
        let at = 0;
        while (placed[at]) at++;
        // Reads go to the browser's own object, so its getters still work.
        placed[at] = new Proxy(pad, { get: (target, key) => (key === "index" ? at : Reflect.get(target, key)) });
      }
      return placed;
    };

    // What navigator.getGamepads() gives once installed: the browser's own
    // pads but its XInput ones, and Kiln's.
    const getGamepads = () => {
      const placed = placeAll();
      while (placed.length < 4) placed.push(null);
      return Array.from(placed, (pad) => pad || null);
    };

    // The browser's events for its own XInput pads never reach the page's
    // listeners: the page hears of those pads from Kiln.
    const silence = (event) => {
      if (event.gamepad && isXInput(event.gamepad)) event.stopImmediatePropagation();
    };

    const install = () => {
      const navigator = root.navigator;
      if (navigator && !browserGetGamepads) {
        browserGetGamepads = typeof navigator.getGamepads === "function" ? navigator.getGamepads.bind(navigator)
          : () => [];
        Object.defineProperty(navigator, "getGamepads", { value: getGamepads, configurable: true, writable: true });
        if (typeof root.addEventListener === "function") {
          root.addEventListener("gamepadconnected", silence, true);
          root.addEventListener("gamepaddisconnected", silence, true);
        }
      }
      return start();
    };

    return {
      gamepads: () => {
        if (host) start().catch(() => {});
        return list();
      },
      api: {
        get status() { return status; },
        start,
        install,
      },
    };
  })();
  // Kiln's first-party Steam extension. Whether Steam is there is asked
  // once; when it is not, every call rejects with the reason.
  const steamState = { available: false, reason: "not asked yet: await Kiln.steam.ready", asked: null };
  const steamReady = () => {
    if (!steamState.asked) {
      const status = !host ? Promise.resolve({ available: false, reason: "not running in Kiln" })
        : Kiln.ready.then((ids) => (ids.indexOf("kiln-steam") < 0
          ? { available: false, reason: "steam.ext.dll is not beside kiln.exe" }
          : call("kiln-steam", "status").then((answer) => ({
            available: answer.available === true,
            reason: answer.available === true ? null : String(answer.reason || "Steam is not available"),
          }))));
      steamState.asked = status.then((state) => {
        steamState.available = state.available;
        steamState.reason = state.reason;
        return { available: state.available, reason: state.reason };
      });
    }
    return steamState.asked;
  };
  const steam = (messageId, params, pick) =>
    steamReady().then((state) => {
      if (!state.available) throw new Error(state.reason);
      return call("kiln-steam", messageId, ...params);
    }).then((answer) => {
      if (answer.ok !== true) throw new Error(answer.error || "kiln-steam: " + messageId + " failed");
      return pick ? pick(answer) : undefined;
    });
  const parsed = (member) => (answer) => JSON.parse(answer[member]);
  const ranges = { global: [1, 10], user: [-4, 5], friends: [1, 100] };

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
    gamepads: gamepad.gamepads,
    gamepad: gamepad.api,
    steam: {
      get ready() { return steamReady(); },
      get available() { return steamState.available; },
      get reason() { return steamState.reason; },
      unlock: (name) => steam("unlock", [name]),
      isUnlocked: (name) => steam("is-unlocked", [name], (answer) => answer.unlocked === true),
      clear: (name) => steam("clear", [name]),
      progress: (name, current, max) => steam("progress", [name, current, max]),
      list: () => steam("list", [], parsed("achievements")),
      getStat: (name, kind = "int") => steam("get-stat", [name, kind], (answer) => answer.value),
      setStat: (name, value, kind = "int") => steam("set-stat", [name, value, kind]),
      storeStats: () => steam("store-stats", []),
      findLeaderboard: (name, { create = false, sort = "descending", display = "numeric" } = {}) =>
        steam("find-leaderboard", [name, create === true, sort, display],
          (answer) => (typeof answer.board === "string" ? answer.board : null)),
      uploadScore: (board, score, { force = false, details = [] } = {}) =>
        Array.isArray(details)
          ? steam("upload-score", [board, score, force === true, JSON.stringify(details)], (answer) =>
            ({ changed: answer.changed === true, rank: answer.rank, previousRank: answer.previousRank }))
          : Promise.reject(new TypeError("Kiln.steam.uploadScore: details must be an array of integers")),
      downloadScores: (board, { around = "global", start, end } = {}) => {
        const range = ranges[around] || [1, 10];
        return steam("download-scores", [board, around, start === undefined ? range[0] : start,
          end === undefined ? range[1] : end], parsed("entries"));
      },
      setRichPresence: (key, value) => steam("set-rich-presence", [key, value]),
      clearRichPresence: () => steam("clear-rich-presence", []),
      personaName: () => steam("persona-name", [], (answer) => answer.name),
      steamId: () => steam("steam-id", [], (answer) => answer.steamId),
      openWebPage: (url) => steam("open-web-page", [url]),
      openStore: (appId) => steam("open-store", [appId]),
      openOverlay: (dialog) => steam("open-overlay", [dialog]),
      showGamepadTextInput: ({ description = "", maxChars = 256, text = "", password = false, multiline = false } = {}) =>
        steam("show-gamepad-text-input", [description, maxChars, text, password === true, multiline === true],
          (answer) => ({ submitted: answer.submitted === true, text: typeof answer.text === "string" ? answer.text : null })),
      language: () => steam("language", [], (answer) => answer.language),
      isDlcInstalled: (appId) => steam("is-dlc-installed", [appId], (answer) => answer.installed === true),
      isSteamDeck: () => steam("is-steam-deck", [], (answer) => answer.deck === true),
      isBigPicture: () => steam("is-big-picture", [], (answer) => answer.bigPicture === true),
      appId: () => steam("app-id", [], (answer) => answer.appId),
      on: (event, handler) => on("kiln-steam", event, (params) => handler(params.active === true, params)),
    },
  };

  root.Kiln = Kiln;
  // <script src="kiln.js" kiln-gamepad> installs Kiln's pads at once.
  const script = root.document && root.document.currentScript;
  if (script && script.hasAttribute && script.hasAttribute("kiln-gamepad")) gamepad.api.install().catch(() => {});
})(typeof globalThis === "object" ? globalThis : this);
