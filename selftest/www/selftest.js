// The self-test's page. Every check runs here, asks the kit's extension
// (component "selftest") for what only code inside kiln.exe can see, and
// sends its result to the extension, which writes the report beside kiln.exe.
// Once every check has run, the page closes the window.
"use strict";

const kAppOrigin = "https://app.kiln.localhost/";
const kMaxRangeAnswer = 4 * 1024 * 1024;
const kCheckSeconds = 40;

// --- Talking to Kiln and the extension (through kiln.js) -----------------

// Sends messageId to the extension and resolves with its answer's params.
async function ask(messageId, params = [], ms = 15000, componentId = "selftest") {
  return Kiln.call(componentId, messageId, ...params, { timeout: ms });
}

// The params of Kiln's saves extension's answer.
async function askSaves(messageId, ...params) {
  return ask(messageId, params, 15000, "kiln-saves");
}

async function askJson(messageId, params, ms) {
  return JSON.parse((await ask(messageId, params, ms)).json);
}

// Posts an extension message as it is, for what kiln.js would refuse to
// send (arrays and objects among the parameters): the answer, with the same
// asyncId, comes to Kiln.on as it answers no call of kiln.js.
function askRaw(messageId, params, asyncId, ms = 15000) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      stop();
      reject(new Error("no answer to \"" + messageId + "\" within " + ms / 1000 + " s"));
    }, ms);
    const stop = Kiln.on("selftest", messageId, (params, message) => {
      if (message.asyncId !== asyncId) return;
      stop();
      clearTimeout(timer);
      resolve(message);
    });
    chrome.webview.postMessage(JSON.stringify({ type: "extension-message", componentId: "selftest", messageId, asyncId, params }));
  });
}

function later(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

function nextEvent(target, name, ms) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("no " + name + " event within " + ms / 1000 + " s")), ms);
    target.addEventListener(name, (event) => {
      clearTimeout(timer);
      resolve(event);
    }, { once: true });
  });
}

// --- Checks -------------------------------------------------------------------

const pass = (seen) => ({ status: "pass", seen });
const fail = (seen) => ({ status: "fail", seen });
const skip = (seen) => ({ status: "skip", seen });
const expect = (ok, seen) => (ok ? pass(seen) : fail(seen));
const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const text = (value) => (typeof value === "string" ? value : JSON.stringify(value));

let reporting = true;

async function record(name, result) {
  const item = document.createElement("li");
  item.className = result.status;
  item.textContent = result.status + " " + name + ": " + text(result.seen);
  document.getElementById("checks").appendChild(item);
  if (!reporting) return;
  try {
    await askJson("record", [name, result.status, text(result.seen)]);
  } catch (error) {
    reporting = false;
    document.getElementById("state").textContent = "Kiln self-test: the report cannot be written (" + error.message + ")";
  }
}

async function check(name, run) {
  let result;
  try {
    result = await Promise.race([
      run(),
      later(kCheckSeconds * 1000).then(() => fail("not done within " + kCheckSeconds + " s")),
    ]);
  } catch (error) {
    result = fail(error && error.message ? error.message : String(error));
  }
  await record(name, result);
}

// The main window as it is now, from the extension's side.
async function windowFacts() {
  return askJson("window");
}

function scaled(units, dpi) {
  return Math.round((units * dpi) / 96);
}

async function run() {
  if (!Kiln.available) {
    document.getElementById("state").textContent = "Kiln self-test: not running inside Kiln.";
    return;
  }
  let components = null;
  await check("bridge.wrapper-init", async () => {
    components = await Promise.race([Kiln.ready,
      later(10000).then(() => { throw new Error("no wrapper-init-response within 10 s"); })]);
    // steam.ext.dll is the tester's to add (with Valve's steam_api.dll).
    return expect(same(components.filter((id) => id !== "kiln-steam"), ["kiln-gamepad", "kiln-saves", "selftest"]),
      { registeredComponentIds: components });
  });
  if (!Array.isArray(components) || !components.includes("selftest")) {
    // Without the extension nothing can be reported: whoever runs the kit sees no report.
    document.getElementById("state").textContent = "Kiln self-test: selftest.ext.dll was not loaded.";
    return;
  }

  const facts = await askJson("facts");
  const dpi = facts.atCreation.dpi;
  const onScreen = facts.atCreation.monitor !== null;
  await askJson("note", ["system", JSON.stringify(facts.system)]);

  // Configuration: package.json's window, at this machine's DPI.
  await check("configuration.caption", async () =>
    expect(facts.atCreation.caption === "Kiln self-test", { caption: facts.atCreation.caption }));
  await check("configuration.client-size", async () => {
    const wanted = [0, 0, scaled(800, dpi), scaled(600, dpi)];
    return expect(same(facts.atCreation.client, wanted), { client: facts.atCreation.client, wanted, dpi });
  });
  // The game window: opened fullscreen, left for the windowed checks below.
  await check("window.fullscreen-at-start", async () => {
    if (!onScreen) return skip("no display for fullscreen");
    const start = await windowFacts();
    const resized = nextEvent(window, "resize", 5000);
    Kiln.window.setFullscreen(false);
    await resized;
    await later(200);
    const back = await windowFacts();
    const wanted = [0, 0, scaled(800, dpi), scaled(600, dpi)];
    const ok = same(start.window, start.monitor) && !start.framed && back.framed && same(back.client, wanted);
    return expect(ok, { atStart: start.window, monitor: start.monitor, windowed: back.client, wanted });
  });
  await check("window.minimum-size", async () => {
    if (!onScreen) return skip("no display: the window has no size on a screen");
    const resized = nextEvent(window, "resize", 5000);
    Kiln.window.setSize(200, 100);
    await resized;
    await later(200);
    const client = (await windowFacts()).client;
    Kiln.window.setSize(800, 600);
    await later(300);
    const wanted = [0, 0, scaled(400, dpi), scaled(300, dpi)];
    return expect(same(client, wanted), { client, wanted, dpi });
  });
  for (const which of ["f11", "alt-enter"]) {
    await check("window.fullscreen-key." + which, async () => {
      if (!onScreen) return skip("no display for fullscreen");
      const before = await windowFacts();
      const keys = [];
      const listener = (event) => keys.push(event.key);
      addEventListener("keydown", listener);
      let resized = nextEvent(window, "resize", 5000);
      const pressed = await askJson("fullscreen-key", [which]);
      if (!pressed.clicked) {
        removeEventListener("keydown", listener);
        return skip("no click could be made: " + pressed.why);
      }
      await resized;
      await later(200);
      const full = await windowFacts();
      resized = nextEvent(window, "resize", 5000);
      await askJson("fullscreen-key", [which]);
      await resized;
      await later(200);
      removeEventListener("keydown", listener);
      const back = await windowFacts();
      const stray = keys.filter((key) => key === "F11" || key === "Enter");
      const ok = same(full.window, full.monitor) && !full.framed && same(back.window, before.window) &&
        stray.length === 0;
      return expect(ok, { fullscreen: full.window, monitor: full.monitor, restored: back.window, before: before.window, stray });
    });
  }
  await check("configuration.icon", async () => expect(facts.icon.large && facts.icon.small, facts.icon));

  // The content server.
  await check("content.start-page", async () =>
    expect(location.href === kAppOrigin + "index.html" && document.contentType === "text/html",
      { address: location.href, contentType: document.contentType }));
  await check("content.types", async () => {
    const wanted = {
      "index.html": "text/html; charset=utf-8", "selftest.js": "application/javascript; charset=utf-8",
      "kiln.js": "application/javascript; charset=utf-8",
      "types/sample.css": "text/css; charset=utf-8", "types/sample.json": "application/json; charset=utf-8",
      "types/sample.txt": "text/plain; charset=utf-8", "types/sample.xml": "text/xml; charset=utf-8",
      "types/sample.png": "image/png", "types/sample.svg": "image/svg+xml", "types/sample.woff2": "font/woff2",
      "types/sample.wasm": "application/wasm", "types/sample.mp3": "audio/mpeg", "types/sample.ogg": "audio/ogg",
      "clip.webm": "video/webm", "types/sample.zip": "application/zip",
    };
    const wrong = {};
    for (const [path, type] of Object.entries(wanted)) {
      const answer = await fetch(path);
      const got = answer.status + " " + answer.headers.get("Content-Type");
      if (got !== "200 " + type) wrong[path] = got;
    }
    return expect(Object.keys(wrong).length === 0,
      Object.keys(wrong).length ? { wrong } : Object.keys(wanted).length + " files, each with its type");
  });
  await check("content.query-and-fragment", async () => {
    const plain = await (await fetch("types/sample.txt")).text();
    const answer = await fetch("types/sample.txt?v=3&cache=no#part");
    const body = await answer.text();
    return expect(answer.status === 200 && body === plain, { status: answer.status, sameBody: body === plain });
  });
  await check("content.utf8-name", async () => {
    const answer = await fetch(encodeURI("grüße 名前.txt"));
    const body = await answer.text();
    return expect(answer.status === 200 && body === "Grüße aus www", { status: answer.status, body });
  });
  await check("content.not-found", async () => {
    const answer = await fetch("no-such-file.txt");
    const body = await answer.text();
    const seen = { status: answer.status, body, cacheControl: answer.headers.get("Cache-Control") };
    return expect(answer.status === 404 && body === "File not found" && seen.cacheControl === "no-store", seen);
  });
  await check("content.traversal", async () => {
    const attempts = ["../package.json", "%2e%2e/package.json", "..%2fpackage.json", "..%5cpackage.json",
      "types/..%2f..%2fpackage.json", "%5cpackage.json", "./C:%5cWindows%5cwin.ini", "selftest.ext.dll",
      "%2e%2e%5c%2e%2e%5c%2e%2e%5cWindows%5cwin.ini", "www/index.html"];
    const answered = {};
    for (const attempt of attempts) {
      try {
        answered[attempt] = (await fetch(attempt)).status;
      } catch (error) {
        answered[attempt] = error.message;
      }
    }
    return expect(Object.values(answered).every((status) => status === 404), answered);
  });
  await check("content.ranges", async () => {
    const whole = new Uint8Array(await (await fetch("clip.webm")).arrayBuffer());
    const size = whole.length;
    const seen = {};
    const first = await fetch("clip.webm", { headers: { Range: "bytes=0-99" } });
    const firstBytes = new Uint8Array(await first.arrayBuffer());
    seen.first = [first.status, first.headers.get("Content-Range"), first.headers.get("Content-Length")];
    const last = await fetch("clip.webm", { headers: { Range: "bytes=-10" } });
    const lastBytes = new Uint8Array(await last.arrayBuffer());
    seen.last = [last.status, last.headers.get("Content-Range")];
    const beyond = await fetch("clip.webm", { headers: { Range: "bytes=" + size + "-" } });
    seen.beyond = beyond.status;
    const ok =
      same(seen.first, [206, "bytes 0-99/" + size, "100"]) && same([...firstBytes], [...whole.slice(0, 100)]) &&
      same(seen.last, [206, "bytes " + (size - 10) + "-" + (size - 1) + "/" + size]) &&
      same([...lastBytes], [...whole.slice(size - 10)]) && seen.beyond === 416;
    return expect(ok, seen);
  });
  await check("content.long-range", async () => {
    if (facts.bigVideo.error) return fail(facts.bigVideo.error);
    const answer = await fetch("big.webm", { headers: { Range: "bytes=1000-" } });
    const body = await answer.arrayBuffer();
    const range = answer.headers.get("Content-Range") || "";
    const match = /^bytes (\d+)-(\d+)\/(\d+)$/.exec(range);
    const seen = { status: answer.status, range, length: answer.headers.get("Content-Length"), body: body.byteLength };
    const ok = answer.status === 206 && match && Number(match[1]) === 1000 &&
      Number(match[3]) === facts.bigVideo.bytes && Number(match[2]) - 999 === body.byteLength &&
      String(body.byteLength) === seen.length && body.byteLength > 0 && body.byteLength <= kMaxRangeAnswer;
    return expect(ok, seen);
  });
  await check("content.video-seek", async () => {
    if (facts.bigVideo.error) return fail(facts.bigVideo.error);
    const video = document.getElementById("video");
    const loaded = nextEvent(video, "loadedmetadata", 20000);
    video.src = "big.webm";
    await loaded;
    const reached = [];
    for (const fraction of [0.5, 0.95, 0.25]) {
      const seeked = nextEvent(video, "seeked", 20000);
      video.currentTime = video.duration * fraction;
      await seeked;
      reached.push(Number(video.currentTime.toFixed(2)));
    }
    const duration = video.duration;
    video.removeAttribute("src");
    video.load();
    return pass({ duration, bytes: facts.bigVideo.bytes, seekedTo: reached });
  });

  // The message bridge.
  await check("bridge.round-trip", async () => {
    const params = [42, 2.5, "text ü 名", true, false, null, [1, 2], { a: 1 }];
    const answer = await askRaw("echo", params, 1e9);
    const wanted = {
      0: 42, 1: 2.5, 2: "text ü 名", 3: true, 4: false, 5: null, 6: null, 7: null,
      types: "Number,Number,String,Boolean,Boolean,Other,Other,Other", received: "8",
      asyncId: answer.asyncId, half: true, nan: null, infinite: null, unknownType: null, twice: "first",
    };
    const got = answer.params;
    const wrong = Object.keys(wanted).filter((key) => !same(got[key], wanted[key]));
    const ok = answer.componentId === "selftest" && answer.messageId === "echo" && wrong.length === 0;
    return expect(ok, ok ? got : { componentId: answer.componentId, messageId: answer.messageId, wrong, got });
  });
  await check("bridge.window-size", async () => {
    if (!onScreen) return skip("no display: the window has no size on a screen");
    const resized = nextEvent(window, "resize", 5000);
    Kiln.window.setSize(640, 480);
    await resized;
    await later(200);
    const inner = [innerWidth, innerHeight];
    const client = (await windowFacts()).client;
    Kiln.window.setSize(800, 600);
    await later(300);
    const ok = Math.abs(inner[0] - 640) <= 1 && Math.abs(inner[1] - 480) <= 1 &&
      same(client, [0, 0, scaled(640, dpi), scaled(480, dpi)]);
    return expect(ok, { pageSize: inner, client, dpi });
  });
  await check("bridge.window-position", async () => {
    if (!onScreen) return skip("no display: the window has no place on a screen");
    const before = (await windowFacts()).window;
    Kiln.window.setPosition(50, 40);
    await later(300);
    const after = (await windowFacts()).window;
    Kiln.window.setPosition(Math.round((before[0] * 96) / dpi), Math.round((before[1] * 96) / dpi));
    await later(200);
    return expect(after[0] === scaled(50, dpi) && after[1] === scaled(40, dpi), { window: after, dpi });
  });
  await check("bridge.fullscreen-message", async () => {
    if (!onScreen) return skip("no display for fullscreen");
    const before = await windowFacts();
    let resized = nextEvent(window, "resize", 5000);
    Kiln.window.setFullscreen(true);
    await resized;
    await later(200);
    const full = await windowFacts();
    resized = nextEvent(window, "resize", 5000);
    Kiln.window.setFullscreen(false);
    await resized;
    await later(200);
    const back = await windowFacts();
    const ok = same(full.window, full.monitor) && !full.framed && same(back.window, before.window) && back.framed;
    return expect(ok, { fullscreen: full.window, monitor: full.monitor, restored: back.window, before: before.window });
  });
  await check("bridge.fullscreen-api", async () => {
    if (!onScreen) return skip("no display for fullscreen");
    const before = await windowFacts();
    // Only a user's gesture may ask for fullscreen: the extension clicks.
    const asked = new Promise((resolve) => {
      document.addEventListener("click", () => resolve(document.documentElement.requestFullscreen()), { once: true });
    });
    const click = await askJson("click");
    if (!click.clicked) return skip("no click could be made: " + click.why);
    await Promise.race([asked, later(5000).then(() => { throw new Error("the click did not reach the page"); })]);
    await later(500);
    const full = await windowFacts();
    const left = nextEvent(document, "fullscreenchange", 5000);
    await document.exitFullscreen();
    await left;
    await later(500);
    const back = await windowFacts();
    const ok = same(full.window, full.monitor) && same(back.window, before.window);
    return expect(ok, { fullscreen: full.window, monitor: full.monitor, restored: back.window, before: before.window });
  });

  await check("input.keyboard", async () => {
    if (!onScreen) return skip("no display to type on");
    const keys = [];
    const listener = (event) => keys.push({ key: event.key, code: event.code });
    addEventListener("keydown", listener);
    const typed = await askJson("type");
    for (let wait = 0; wait < 30 && typed.clicked && keys.length < 2; wait++) await later(100);
    removeEventListener("keydown", listener);
    if (!typed.clicked) return skip("no click could be made: " + typed.why);
    // With Caps Lock on, K types "K".
    const ok = keys.length === 2 && keys[0].key.toLowerCase() === "k" && keys[0].code === "KeyK" &&
      same(keys[1], { key: "ArrowLeft", code: "ArrowLeft" });
    return expect(ok, { typed: typed.typed, keys });
  });

  // Extensions.
  await check("extensions.order", async () => {
    const wanted = ["WrapperExtInit", "OnExtensionsLoaded", "OnMainWindowCreated", "OnWebMessage"];
    return expect(same(facts.events, wanted), facts.events);
  });
  await check("extensions.registry", async () =>
    expect(facts.registered === true && facts.registeredAgain === false,
      { registered: facts.registered, registeredAgain: facts.registeredAgain }));
  await check("extensions.folders", async () => {
    const userData = await askJson("user-data");
    const seen = { appFolder: facts.appFolder, contentFolderAtInit: facts.contentFolderAtInit,
      contentFolder: facts.contentFolder, userDataFolder: facts.userDataFolder, userDataExists: userData.exists };
    const ok = facts.appFolder.endsWith("\\") && facts.contentFolderAtInit === "" &&
      facts.contentFolder === facts.appFolder + "www\\" && facts.userDataFolder.endsWith("\\kiln-selftest") &&
      userData.exists;
    return expect(ok, seen);
  });
  await check("extensions.shared-values", async () => expect(Object.values(facts.shared).every((v) => v === true), facts.shared));
  await check("extensions.msvc-exception", async () => {
    if (facts.system.architecture !== "x86") {
      return skip("only the shipped 32-bit kiln.exe stops exceptions raised the MSVC way");
    }
    Kiln.call("selftest", "throw-msvc");  // answered by nothing: the extension throws
    const after = await askJson("after-throw");
    return expect(after.unwound && after.thrownObjectDestroyed, after);
  });
  await check("extensions.message-box", async () => {
    const started = performance.now();
    let ticks = 0;
    const ticking = setInterval(() => ticks++, 100);
    const box = await askJson("message-box", [], 20000);
    clearInterval(ticking);
    const echo = await ask("echo", ["after the box"]);
    const seen = { box, ticksWhileShown: ticks, ms: Math.round(performance.now() - started) };
    return expect(box.returned === 1 && box.closedByExtension && echo[0] === "after the box" && ticks > 0, seen);
  });

  // Persistence: what this run stores, the next run reads back.
  await check("persistence", async () => {
    const token = Math.random().toString(36).slice(2);
    const found = { localStorage: localStorage.getItem("kiln-selftest"), indexedDB: await readIndexedDB() };
    localStorage.setItem("kiln-selftest", token);
    await writeIndexedDB(token);
    await askJson("note", ["persistence", JSON.stringify({ token })]);
    const previous = facts.previousPersistence && facts.previousPersistence.token;
    if (!previous) return skip("first run: stored a value; run kiln.exe again to see it read back");
    return expect(found.localStorage === previous && found.indexedDB === previous, { stored: previous, found });
  });

  // Saves kept as plain files by saves.ext.dll: each write is on the disk
  // whole when answered, the next run reads it back, and names Windows
  // would take for something else are refused before they reach the disk.
  await check("saves", async () => {
    const slot = "selftest-slot";
    const text = JSON.stringify({ token: Math.random().toString(36).slice(2), text: "caf\u00e9 \u2713\nline" });
    const found = await askSaves("read", slot);
    const written = await askSaves("write", slot, text);
    const file = await askJson("saves-file", [slot]);
    const readBack = await askSaves("read", slot);
    const listed = await askSaves("list");
    const refused = [];
    for (const name of ["CON", "aux.json", "../escape", "slot.", "x".repeat(65)]) {
      refused.push((await askSaves("write", name, "x")).ok);
    }
    await askSaves("write", "selftest-gone", "x");
    const removed = await askSaves("remove", "selftest-gone");
    const gone = await askSaves("read", "selftest-gone");
    const folder = (await askJson("saves-file", [slot])).entries;
    await askJson("note", ["saves", JSON.stringify({ text })]);
    const previous = facts.previousSaves && facts.previousSaves.text;
    const seen = { written, onDisk: file.text === text, readBack: readBack.text === text, listed: listed.names,
                   refused, removed: removed.removed, gone: gone.text, folder, previous: previous || null,
                   found: found.text };
    return expect(written.ok === true && file.text === text && readBack.text === text &&
                  String(listed.names).split("\n").includes(slot) && refused.every((ok) => ok === false) &&
                  removed.removed === true && gone.text === null &&
                  folder.every((entry) => entry === slot || entry === slot + ".bak") &&
                  (!previous || found.text === previous), seen);
  });

  // Pads read by gamepad.ext.dll in kiln.exe's own process, where Steam
  // Input applies a player's configuration: a connected pad reads as a
  // standard Gamepad; with none connected there is nothing to see.
  await check("gamepad", async () => {
    const status = await Kiln.gamepad.start();
    if (!status.startsWith("reading pads")) {
      return status.startsWith("no XInput") ? skip(status) : fail(status);
    }
    await later(300);
    const pads = Kiln.gamepads();
    if (!pads.length) return skip("no pad connected (" + status + ")");
    const pad = pads[0];
    const seen = { status, id: pad.id, index: pad.index, mapping: pad.mapping, buttons: pad.buttons.length,
                   pressed: pad.buttons.flatMap((button, i) => (button.pressed ? [i] : [])), axes: pad.axes };
    return expect(pad.connected && pad.mapping === "standard" && pad.buttons.length === 17 && pad.axes.length === 4 &&
                  pad.axes.every((axis) => axis >= -1 && axis <= 1) &&
                  pad.buttons.every((button) => button.value >= 0 && button.value <= 1), seen);
  });

  // Steam, when the tester put steam.ext.dll and Valve's steam_api.dll into
  // the kit folder and Steam runs; skipped otherwise.
  await check("steam", async () => {
    if (!components || !components.includes("kiln-steam")) return skip("steam.ext.dll is not in the kit folder");
    const state = await Kiln.steam.ready;
    if (!state.available) return skip("Steam is not available: " + state.reason);
    const seen = { appId: await Kiln.steam.appId(), steamId: await Kiln.steam.steamId(),
                   persona: await Kiln.steam.personaName(), language: await Kiln.steam.language(),
                   deck: await Kiln.steam.isSteamDeck(), achievements: (await Kiln.steam.list()).length };
    return expect(seen.appId > 0 && /^[0-9]{17}$/.test(seen.steamId) && typeof seen.persona === "string" &&
                  seen.language.length > 0, seen);
  });

  await check("permissions.notification", async () => {
    if (!("Notification" in window)) return skip("no Notification API in this web view");
    const answer = await Notification.requestPermission();
    return expect(answer === "granted" && Notification.permission === "granted", { answer, permission: Notification.permission });
  });

  await askJson("finish");
  document.getElementById("state").textContent = "Kiln self-test: done";
  await later(500);
  window.close();
}

function openDatabase() {
  return new Promise((resolve, reject) => {
    const opening = indexedDB.open("kiln-selftest", 1);
    opening.onupgradeneeded = () => opening.result.createObjectStore("values");
    opening.onsuccess = () => resolve(opening.result);
    opening.onerror = () => reject(opening.error);
  });
}

async function readIndexedDB() {
  const db = await openDatabase();
  return new Promise((resolve, reject) => {
    const reading = db.transaction("values").objectStore("values").get("token");
    reading.onsuccess = () => resolve(reading.result === undefined ? null : reading.result);
    reading.onerror = () => reject(reading.error);
  });
}

async function writeIndexedDB(token) {
  const db = await openDatabase();
  return new Promise((resolve, reject) => {
    const writing = db.transaction("values", "readwrite");
    writing.objectStore("values").put(token, "token");
    writing.oncomplete = () => resolve();
    writing.onerror = () => reject(writing.error);
  });
}

run().catch((error) => {
  document.getElementById("state").textContent = "Kiln self-test stopped: " + error.message;
});
