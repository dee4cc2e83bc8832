// kiln.js against a stand-in for chrome.webview, each test in a fresh
// global of its own, loaded as a page's classic script would be.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const root = path.join(__dirname, "..", "..");
const source = fs.readFileSync(path.join(root, "sdk", "kiln.js"), "utf8");

// A page's global with kiln.js loaded; with inKiln, a web view that records
// what the page posts and lets the test play what Kiln sends.
function page(inKiln = true, globals = {}) {
  const sent = [];
  const listeners = [];
  const webview = {
    postMessage: (text) => sent.push(JSON.parse(text)),
    addEventListener: (name, listener) => listeners.push([name, listener]),
  };
  // What the page's timers throw, as the browser's console would show it.
  const thrown = [];
  const pageTimeout = (run, ms) => setTimeout(() => {
    try { run(); } catch (error) { thrown.push(error.message); }
  }, ms);
  const global = vm.createContext({
    setTimeout: pageTimeout, clearTimeout, ...(inKiln ? { chrome: { webview } } : {}), ...globals,
  });
  const before = Object.keys(global);
  vm.runInContext(source, global);
  const fromKiln = (data) => {
    for (const [name, listener] of listeners) if (name === "message") listener({ data });
  };
  const answer = (componentId, asyncId, params, messageId = "answer") =>
    fromKiln({ type: "extension-message", componentId, messageId, asyncId, params });
  return { Kiln: global.Kiln, sent, listeners, fromKiln, answer, before, global, thrown };
}

// Values made in the page's global have its prototypes: compare as JSON.
const plain = (value) => JSON.parse(JSON.stringify(value));
const settle = () => new Promise((resolve) => setImmediate(resolve));

test("the classic script adds only Kiln to the page's global and listens once", () => {
  const { Kiln, global, before, listeners } = page();
  assert.deepStrictEqual(Object.keys(global).filter((key) => !before.includes(key)), ["Kiln"]);
  assert.strictEqual(Kiln.available, true);
  assert.deepStrictEqual(listeners.map(([name]) => name), ["message"]);
});

test("ready sends wrapper-init once and resolves with the component ids", async () => {
  const { Kiln, sent, fromKiln } = page();
  assert.deepStrictEqual(sent, [], "nothing is sent before the page asks");
  const first = Kiln.ready;
  assert.strictEqual(Kiln.ready, first);
  fromKiln({ type: "wrapper-init-response", registeredComponentIds: ["a", "b"] });
  assert.deepStrictEqual(plain(await first), ["a", "b"]);
  assert.deepStrictEqual(sent, [{ type: "wrapper-init" }]);
});

test("answers are matched to their calls by asyncId when they arrive out of order", async () => {
  const { Kiln, sent, answer } = page();
  const first = Kiln.call("math", "add", 1, 2);
  const second = Kiln.call("math", "add", 3, 4.5);
  assert.deepStrictEqual(sent, [
    { type: "extension-message", componentId: "math", messageId: "add", asyncId: 1, params: [1, 2] },
    { type: "extension-message", componentId: "math", messageId: "add", asyncId: 2, params: [3, 4.5] },
  ]);
  answer("math", 2, { sum: 7.5 });
  answer("math", 1, { sum: 3 });
  assert.deepStrictEqual(plain(await first), { sum: 3 });
  assert.deepStrictEqual(plain(await second), { sum: 7.5 });
});

test("an answer from another component with the same asyncId goes to that component's handlers", async () => {
  const { Kiln, answer } = page();
  let resolved = false;
  const call = Kiln.call("audio", "play", "theme.ogg").then((params) => ((resolved = true), params));
  const heard = [];
  Kiln.on("input", "pad", (params, message) => heard.push([params.button, message.asyncId]));
  answer("input", 1, { button: "A" }, "pad");
  await settle();
  assert.strictEqual(resolved, false, "the audio call still waits");
  assert.deepStrictEqual(heard, [["A", 1]]);
  answer("audio", 1, { playing: true });
  assert.deepStrictEqual(plain(await call), { playing: true });
});

test("on hears messages that answer no call, until unsubscribed", async () => {
  const { Kiln, answer, thrown } = page();
  const heard = [];
  const stop = Kiln.on("net", "joined", (params) => heard.push(params.who));
  Kiln.on("net", "joined", () => { throw new Error("a broken handler"); });
  answer("net", -1, { who: "ada" }, "joined");
  answer("net", -1, { who: "bob" }, "left");
  stop();
  answer("net", -1, { who: "cy" }, "joined");
  assert.deepStrictEqual(heard, ["ada"]);
  await new Promise((resolve) => setTimeout(resolve, 5));
  assert.deepStrictEqual(thrown, ["a broken handler", "a broken handler"], "each throw reaches the console");
});

test("a call with a timeout rejects when no answer comes, and a late answer resolves nothing", async () => {
  const { Kiln, sent, answer } = page();
  const heard = [];
  Kiln.on("slow", "done", (params) => heard.push(params));
  await assert.rejects(Kiln.call("slow", "work", 5, { timeout: 20 }), {
    message: 'Kiln.call("slow", "work"): no answer within 20 ms',
  });
  assert.deepStrictEqual(sent[0].params, [5], "the options are not sent");
  answer("slow", 1, { late: true }, "done");
  assert.deepStrictEqual(plain(heard), [{ late: true }]);
});

test("parameters Kiln cannot carry are refused before anything is sent, naming the parameter", async () => {
  const { Kiln, sent } = page();
  const refused = [
    [[{ a: 1 }], "parameter 1 is an object"],
    [["ok", [1, 2]], "parameter 2 is an array"],
    [[1, 2, undefined], "parameter 3 is undefined"],
    [[NaN], "parameter 1 is NaN"],
    [[Infinity], "parameter 1 is Infinity"],
    [[() => 1], "parameter 1 is function"],
    [[{ timeout: 5, more: 1 }], "parameter 1 is an object"],
  ];
  for (const [params, why] of refused) {
    await assert.rejects(Kiln.call("c", "m", ...params), (error) =>
      error.name === "TypeError" && error.message.startsWith('Kiln.call("c", "m"): ' + why + ";"));
  }
  await assert.rejects(Kiln.call("", "m"), { name: "TypeError" });
  await assert.rejects(Kiln.call("c", 7), { name: "TypeError" });
  assert.deepStrictEqual(sent, []);
  Kiln.call("c", "m", 1, -2.5, "text", true, false, null);
  assert.deepStrictEqual(sent[0].params, [1, -2.5, "text", true, false, null]);
});

test("the window operations post Kiln's window messages", async () => {
  const { Kiln, sent } = page();
  await Kiln.window.setFullscreen(true);
  await Kiln.window.setFullscreen(1);
  await Kiln.window.setSize(640, 480);
  await Kiln.window.setPosition(-10, 20);
  await assert.rejects(Kiln.window.setSize(640), { message: "Kiln.window: windowHeight must be a finite number" });
  assert.deepStrictEqual(sent, [
    { type: "set-fullscreen", fullscreen: true },
    { type: "set-fullscreen", fullscreen: false },
    { type: "set-window-size", windowWidth: 640, windowHeight: 480 },
    { type: "set-window-position", windowX: -10, windowY: 20 },
  ]);
});

test("outside Kiln the page loads and every call rejects with not running in Kiln", async () => {
  const { Kiln, global, before } = page(false);
  assert.deepStrictEqual(Object.keys(global).filter((key) => !before.includes(key)), ["Kiln"]);
  assert.strictEqual(Kiln.available, false);
  const notInKiln = { message: "not running in Kiln" };
  await assert.rejects(Kiln.ready, notInKiln);
  await assert.rejects(Kiln.call("c", "m", 1), notInKiln);
  await assert.rejects(Kiln.window.setFullscreen(true), notInKiln);
  await assert.rejects(Kiln.saves.list(), notInKiln);
  assert.strictEqual(typeof Kiln.on("c", "m", () => {}), "function");
});

test("saves speak the kiln-saves protocol", async () => {
  const { Kiln, sent, answer } = page();
  const calls = [
    [Kiln.saves.write("slot 1", "{\"level\":3}"), { ok: true }, undefined],
    [Kiln.saves.read("slot 1"), { ok: true, text: "{\"level\":3}" }, "{\"level\":3}"],
    [Kiln.saves.read("none"), { ok: true, text: null }, null],
    [Kiln.saves.list(), { ok: true, names: "a\nslot 1" }, ["a", "slot 1"]],
    [Kiln.saves.list(), { ok: true, names: "" }, []],
    [Kiln.saves.remove("a"), { ok: true, removed: true }, true],
    [Kiln.saves.remove("a"), { ok: true, removed: false }, false],
  ];
  calls.forEach(([, params], i) => answer("kiln-saves", i + 1, params));
  for (const [promise, , wanted] of calls) assert.deepStrictEqual(plain([await promise]), plain([wanted]));
  assert.deepStrictEqual(sent.map((message) => [message.componentId, message.messageId, message.params]), [
    ["kiln-saves", "write", ["slot 1", "{\"level\":3}"]], ["kiln-saves", "read", ["slot 1"]],
    ["kiln-saves", "read", ["none"]], ["kiln-saves", "list", []], ["kiln-saves", "list", []],
    ["kiln-saves", "remove", ["a"]], ["kiln-saves", "remove", ["a"]],
  ]);
  const failing = Kiln.saves.write("x", "y");
  answer("kiln-saves", 8, { ok: false, error: "the disk is full" });
  await assert.rejects(failing, { message: "the disk is full" });
});

test("the example app carries this kiln.js", () => {
  assert.strictEqual(fs.readFileSync(path.join(root, "examples", "hello", "www", "kiln.js"), "utf8"), source);
});

// Events dispatched at the window as a browser does: capturing listeners
// first, then the others, each in the order added.
class Event {
  constructor(type) { this.type = type; this.stopped = false; }
  stopImmediatePropagation() { this.stopped = true; }
}
function windowEvents() {
  const listeners = [];
  return {
    Event,
    addEventListener: (type, listener, options) =>
      listeners.push({ type, listener, capture: options === true || !!(options && options.capture) }),
    dispatchEvent: (event) => {
      for (const capture of [true, false]) {
        for (const entry of listeners) {
          if (entry.type === event.type && entry.capture === capture && !event.stopped) entry.listener(event);
        }
      }
    },
  };
}

// A page global with window events and, when given, the browser's own pads.
function gamepadPage(browserPads = null, inKiln = true) {
  const globals = {
    ...windowEvents(), performance, ...(browserPads ? { navigator: { getGamepads: () => browserPads } } : {}),
  };
  const result = page(inKiln, globals);
  const heard = [];
  for (const type of ["gamepadconnected", "gamepaddisconnected"]) {
    result.global.addEventListener(type, (event) => heard.push([type, event.gamepad]));
  }
  // Kiln answers wrapper-init and "start"; resolves once the page started.
  result.startWith = async (ids = ["kiln-gamepad"], status = "reading pads through xinput1_4.dll") => {
    result.fromKiln({ type: "wrapper-init-response", registeredComponentIds: ids });
    await settle();
    const start = result.sent.find((message) => message.messageId === "start");
    if (start) result.answer("kiln-gamepad", start.asyncId, { ok: true, status, guide: true }, "start");
    await settle();
  };
  result.pad = (params) => result.answer("kiln-gamepad", -1, {
    connected: true, pressed: 0, leftTrigger: 0, rightTrigger: 0, axis0: 0, axis1: 0, axis2: 0, axis3: 0, ...params,
  }, "pad");
  result.heard = heard;
  return result;
}

test("gamepads start kiln-gamepad once and its pads reach the page as standard Gamepads", async () => {
  const { Kiln, sent, startWith, pad, heard } = gamepadPage();
  assert.strictEqual(Kiln.gamepad.status, "not started");
  assert.deepStrictEqual([...Kiln.gamepads()], []);
  assert.strictEqual(Kiln.gamepad.status, "starting");
  Kiln.gamepads();
  await startWith();
  assert.deepStrictEqual(sent.map((message) => message.type + " " + (message.messageId || "")),
    ["wrapper-init ", "extension-message start"]);
  assert.strictEqual(Kiln.gamepad.status, "reading pads through xinput1_4.dll");

  pad({ slot: 2, pressed: 1 | (1 << 6) | (1 << 16), leftTrigger: 0.5, axis0: -1, axis3: 0.25 });
  const [first] = Kiln.gamepads();
  assert.deepStrictEqual(heard.map(([type, gamepad]) => [type, gamepad === first]), [["gamepadconnected", true]]);
  assert.strictEqual(first.index, 0, "the first free index, whatever the slot");
  assert.strictEqual(first.connected, true);
  assert.strictEqual(first.mapping, "standard");
  assert.match(first.id, /STANDARD GAMEPAD/);
  assert.strictEqual(first.buttons.length, 17);
  assert.deepStrictEqual(plain(first.buttons[0]), { pressed: true, touched: true, value: 1 });
  assert.deepStrictEqual(plain(first.buttons[1]), { pressed: false, touched: false, value: 0 });
  assert.deepStrictEqual(plain(first.buttons[6]), { pressed: true, touched: true, value: 0.5 });
  assert.deepStrictEqual(plain(first.buttons[16]), { pressed: true, touched: true, value: 1 });
  assert.deepStrictEqual(plain(first.axes), [-1, 0, 0, 0.25]);
  const stamped = first.timestamp;
  assert.ok(stamped > 0);

  await new Promise((resolve) => setTimeout(resolve, 2));
  pad({ slot: 2, pressed: 0 });
  assert.strictEqual(Kiln.gamepads()[0], first, "the same live object, updated in place");
  assert.deepStrictEqual(plain(first.buttons[0]), { pressed: false, touched: false, value: 0 });
  assert.deepStrictEqual(plain(first.axes), [0, 0, 0, 0]);
  assert.ok(first.timestamp > stamped);

  pad({ slot: 0 });
  assert.deepStrictEqual([...Kiln.gamepads()].map((gamepad) => gamepad.index), [0, 1]);
  pad({ slot: 2, connected: false });
  pad({ slot: 3, connected: false });
  assert.strictEqual(first.connected, false);
  assert.deepStrictEqual([...Kiln.gamepads()].map((gamepad) => gamepad.index), [1]);
  assert.deepStrictEqual(heard.map(([type, gamepad]) => [type, gamepad.index]),
    [["gamepadconnected", 0], ["gamepadconnected", 1], ["gamepaddisconnected", 0]],
    "a slot that was empty already is no news");
  assert.strictEqual(sent.length, 2, "the page only listens");
});

test("without gamepad.ext.dll, and outside Kiln, the status says why there are no pads", async () => {
  const missing = gamepadPage();
  const starting = missing.Kiln.gamepad.start();
  await missing.startWith(["kiln-saves"]);
  assert.strictEqual(await starting, "gamepad.ext.dll is not beside kiln.exe: no gamepads");
  assert.strictEqual(missing.Kiln.gamepad.status, "gamepad.ext.dll is not beside kiln.exe: no gamepads");
  assert.ok(!missing.sent.some((message) => message.messageId === "start"), "nothing is asked of a missing extension");

  const noXInput = gamepadPage();
  noXInput.Kiln.gamepads();
  await noXInput.startWith(undefined, "no XInput on this machine: no gamepads");
  assert.strictEqual(noXInput.Kiln.gamepad.status, "no XInput on this machine: no gamepads");
  assert.deepStrictEqual([...noXInput.Kiln.gamepads()], []);

  const outside = gamepadPage(null, false);
  assert.deepStrictEqual([...outside.Kiln.gamepads()], []);
  assert.strictEqual(outside.Kiln.gamepad.status, "not running in Kiln");
  await assert.rejects(outside.Kiln.gamepad.install(), { message: "not running in Kiln" });
});

test("install puts Kiln's pads in navigator.getGamepads in place of the browser's XInput pads", async () => {
  const xbox = { id: "Xbox 360 Controller (XInput STANDARD GAMEPAD)", index: 0, connected: true };
  const wireless = { id: "Xbox Wireless Controller (STANDARD GAMEPAD Vendor: 045e Product: 0b13)", index: 2 };
  const playstation = { id: "Wireless Controller (STANDARD GAMEPAD Vendor: 054c Product: 09cc)", index: 1 };
  const browserPads = [xbox, playstation, wireless, null];
  const { Kiln, global, startWith, pad, heard } = gamepadPage(browserPads);
  const installing = Kiln.gamepad.install();
  await startWith();
  assert.strictEqual(await installing, "reading pads through xinput1_4.dll");
  assert.deepStrictEqual([...global.navigator.getGamepads()], [null, playstation, null, null]);
  pad({ slot: 0, pressed: 1 });
  const [kilnPad] = Kiln.gamepads();
  assert.strictEqual(kilnPad.index, 0, "the index the browser's own pads leave free");
  const pads = global.navigator.getGamepads();
  assert.deepStrictEqual([...pads].map((gamepad) => gamepad && gamepad.id),
    [kilnPad.id, playstation.id, null, null], "one Xbox pad, Kiln's, and the browser's other pads");
  assert.strictEqual(pads.filter((gamepad) => gamepad && gamepad.buttons).length, 1);

  // The browser may later put a pad of its own at an index one of Kiln's holds.
  pad({ slot: 1 });
  const second = Kiln.gamepads()[1];
  assert.strictEqual(second.index, 2, "past the PlayStation pad the browser keeps at 1");
  const nintendo = { id: "Pro Controller (STANDARD GAMEPAD Vendor: 057e Product: 2009)", index: 2 };
  browserPads[2] = nintendo;
  assert.deepStrictEqual([...global.navigator.getGamepads()].map((gamepad) => gamepad && [gamepad.id, gamepad.index]),
    [[kilnPad.id, 0], [playstation.id, 1], [second.id, 2], [nintendo.id, 3]],
    "Kiln's pad keeps its index; the browser's moves to a free one and says so");
  pad({ slot: 2 });
  assert.strictEqual(Kiln.gamepads()[2].index, 4, "a pad connected next takes neither index");
  pad({ slot: 2, connected: false });
  browserPads[2] = wireless;
  pad({ slot: 1, connected: false });

  const browserEvent = (type, gamepad) => {
    const event = new Event(type);
    Object.defineProperty(event, "gamepad", { value: gamepad });
    global.dispatchEvent(event);
  };
  heard.length = 0;
  browserEvent("gamepadconnected", xbox);
  browserEvent("gamepaddisconnected", wireless);
  browserEvent("gamepadconnected", playstation);
  assert.deepStrictEqual(heard.map(([type, gamepad]) => [type, gamepad.id]), [["gamepadconnected", playstation.id]]);
  Kiln.gamepad.install();
  assert.strictEqual(global.navigator.getGamepads()[0], kilnPad, "installing twice changes nothing");
});

test("dual-rumble asks kiln-gamepad for both motors and resolves when done or preempted", async () => {
  const { Kiln, sent, answer, startWith, pad } = gamepadPage();
  Kiln.gamepads();
  await startWith();
  pad({ slot: 3 });
  const actuator = Kiln.gamepads()[0].vibrationActuator;
  assert.strictEqual(actuator.type, "dual-rumble");
  const rumbles = () => sent.filter((message) => message.messageId === "rumble");
  const answerLast = () => answer("kiln-gamepad", rumbles().at(-1).asyncId, { ok: true }, "rumble");

  const played = actuator.playEffect("dual-rumble",
    { duration: 40, startDelay: 15, strongMagnitude: 1, weakMagnitude: 0.25 });
  assert.deepStrictEqual(rumbles(), [], "nothing before the start delay");
  await new Promise((resolve) => setTimeout(resolve, 25));
  assert.deepStrictEqual(rumbles().map((message) => message.params), [[3, 1, 0.25, 40]]);
  answerLast();
  assert.strictEqual(await played, "complete");

  const long = actuator.playEffect("dual-rumble", { duration: 5000, strongMagnitude: 0.5 });
  await new Promise((resolve) => setTimeout(resolve, 5));
  answerLast();
  const next = actuator.playEffect("dual-rumble", { duration: 10, weakMagnitude: 1 });
  assert.strictEqual(await long, "preempted");
  await new Promise((resolve) => setTimeout(resolve, 5));
  assert.deepStrictEqual(rumbles().slice(1).map((message) => message.params),
    [[3, 0.5, 0, 5000], [3, 0, 0, 0], [3, 0, 1, 10]], "the preempted effect's motors stop before the next starts");
  rumbles().slice(2).forEach((message) => answer("kiln-gamepad", message.asyncId, { ok: true }, "rumble"));
  assert.strictEqual(await next, "complete");

  for (const params of [{ strongMagnitude: 1.5 }, { duration: -1 }, { weakMagnitude: "1" }]) {
    await assert.rejects(actuator.playEffect("dual-rumble", params), { name: "TypeError" });
  }
  await assert.rejects(actuator.playEffect("trigger-rumble", {}), { name: "TypeError" });
  pad({ slot: 3, connected: false });
  await assert.rejects(actuator.playEffect("dual-rumble", { duration: 10 }), { message: /not connected/ });
});

test("Kiln.steam asks once whether Steam is there, then sends each call with its defaults", async () => {
  const { Kiln, sent, fromKiln, answer } = page();
  const unlocked = Kiln.steam.unlock("ACH_WIN");
  const board = Kiln.steam.downloadScores("18446744073709551615", { around: "user" });
  fromKiln({ type: "wrapper-init-response", registeredComponentIds: ["kiln-steam"] });
  await settle();
  assert.deepStrictEqual(sent[1], { type: "extension-message", componentId: "kiln-steam", messageId: "status",
    asyncId: 1, params: [] });
  answer("kiln-steam", 1, { ok: true, available: true, reason: null });
  await settle();
  assert.strictEqual(Kiln.steam.available, true);
  assert.deepStrictEqual(sent.slice(2).map((m) => [m.messageId, m.params]),
    [["unlock", ["ACH_WIN"]], ["download-scores", ["18446744073709551615", "user", -4, 5]]],
    "one status question for both calls; the range around the player by default");
  answer("kiln-steam", 2, { ok: true });
  answer("kiln-steam", 3, { ok: true, entries: '[{"rank":1,"score":5,"steamId":"76561198000000001","name":null,"details":[]}]' });
  assert.strictEqual(await unlocked, undefined);
  assert.deepStrictEqual(plain(await board), [{ rank: 1, score: 5, steamId: "76561198000000001", name: null, details: [] }]);

  const found = Kiln.steam.findLeaderboard("Top", { create: true });
  const uploaded = Kiln.steam.uploadScore("12", 7, { details: [1, 2] });
  await settle();
  assert.deepStrictEqual(sent.slice(4).map((m) => m.params),
    [["Top", true, "descending", "numeric"], ["12", 7, false, "[1,2]"]]);
  answer("kiln-steam", 4, { ok: true, board: null });
  answer("kiln-steam", 5, { ok: false, error: "Steam did not take the score" });
  assert.strictEqual(await found, null, "no such leaderboard");
  await assert.rejects(uploaded, { message: "Steam did not take the score" });
  await assert.rejects(Kiln.steam.uploadScore("12", 7, { details: "1,2" }), { name: "TypeError" });
});

test("without Steam every Kiln.steam call rejects with the reason, and overlay events reach on", async () => {
  const { Kiln, fromKiln, answer } = page();
  const events = [];
  Kiln.steam.on("overlay-activated", (active) => events.push(active));
  const ready = Kiln.steam.ready;
  fromKiln({ type: "wrapper-init-response", registeredComponentIds: ["kiln-steam"] });
  await settle();
  answer("kiln-steam", 1, { ok: true, available: false, reason: "Steam is not running" });
  assert.deepStrictEqual(plain(await ready), { available: false, reason: "Steam is not running" });
  assert.strictEqual(Kiln.steam.reason, "Steam is not running");
  await assert.rejects(Kiln.steam.personaName(), { message: "Steam is not running" });
  fromKiln({ type: "extension-message", componentId: "kiln-steam", messageId: "overlay-activated", asyncId: -1,
    params: { ok: true, active: true } });
  assert.deepStrictEqual(events, [true]);

  const missing = page();
  const state = missing.Kiln.steam.ready;
  missing.fromKiln({ type: "wrapper-init-response", registeredComponentIds: [] });
  assert.deepStrictEqual(plain(await state), { available: false, reason: "steam.ext.dll is not beside kiln.exe" });
  await assert.rejects(page(false).Kiln.steam.appId(), { message: "not running in Kiln" });
});
