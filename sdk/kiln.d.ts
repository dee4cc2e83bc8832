// Types for kiln.js, which defines the global Kiln. Use them with
// /// <reference path="kiln.d.ts" /> or by listing this file in tsconfig.json.

declare namespace Kiln {
  /** What Kiln carries to an extension: finite numbers, strings, booleans and null. */
  type Param = number | string | boolean | null;

  /** The named values of an extension's message; Kiln writes non-finite numbers and unknown values as null. */
  type Params = { [name: string]: number | string | boolean | null };

  /** An "extension-message" as Kiln posts it to the page. */
  interface ExtensionMessage {
    type: "extension-message";
    componentId: string;
    messageId: string;
    asyncId: number;
    params: Params;
  }

  /** Given as the last argument of call: reject when no answer comes within timeout ms. */
  interface CallOptions {
    timeout: number;
  }

  /** Whether the page runs inside Kiln (chrome.webview is there). */
  const available: boolean;

  /** Sends "wrapper-init" once; resolves with the component ids extensions registered, in ascending order. */
  const ready: Promise<string[]>;

  /**
   * Sends messageId to the extension that registered componentId and resolves with the params of
   * its answer, the message that carries the same component id and asyncId. Parameters Kiln
   * cannot carry are refused before anything is sent.
   */
  function call(componentId: string, messageId: string, ...params: Param[]): Promise<Params>;
  function call(componentId: string, messageId: string, ...paramsThenOptions: [...Param[], CallOptions]): Promise<Params>;

  /** Hears the component's messageId messages that answer no pending call. Returns the unsubscribe function. */
  function on(componentId: string, messageId: string, handler: (params: Params, message: ExtensionMessage) => void): () => void;

  /** The main window. Sizes and positions are in 96-DPI units; each resolves once the message is sent. */
  namespace window {
    function setFullscreen(on: boolean): Promise<void>;
    /** The client area's size; Kiln ignores sizes of 0 or less, and sizes while fullscreen. */
    function setSize(width: number, height: number): Promise<void>;
    /** The outer top-left corner, on the screen; ignored while fullscreen. */
    function setPosition(x: number, y: number): Promise<void>;
  }

  /** Named texts kept by Kiln's saves extension (component "kiln-saves"). A refused operation rejects with its error. */
  namespace saves {
    function write(name: string, text: string): Promise<void>;
    /** The text saved under name, or null when there is none. */
    function read(name: string): Promise<string | null>;
    /** The names of every save, sorted. */
    function list(): Promise<string[]>;
    /** Whether there was a save of that name to remove. */
    function remove(name: string): Promise<boolean>;
  }

  /** One button of a pad in the standard layout. */
  interface GamepadButton {
    pressed: boolean;
    touched: boolean;
    /** 0 to 1; the triggers (buttons 6 and 7) read every value between. */
    value: number;
  }

  /** A pad read by Kiln's gamepad extension, shaped like the browser's Gamepad and updated in place. */
  interface Gamepad {
    readonly id: string;
    readonly index: number;
    connected: boolean;
    readonly mapping: "standard";
    /** 17 buttons: A, B, X, Y, LB, RB, LT, RT, Back, Start, left and right stick, d-pad up, down, left, right, guide. */
    readonly buttons: GamepadButton[];
    /** Left x, left y, right x, right y; right and down positive, 0 at rest, dead zones applied. */
    readonly axes: number[];
    /** performance.now() when Kiln last changed the pad. */
    timestamp: number;
    readonly vibrationActuator: GamepadHapticActuator;
  }

  interface RumbleParams {
    duration?: number;
    startDelay?: number;
    strongMagnitude?: number;
    weakMagnitude?: number;
  }

  interface GamepadHapticActuator {
    readonly type: "dual-rumble";
    readonly effects: ["dual-rumble"];
    /** Resolves "complete" after the duration (at most 5 s), or "preempted" when another effect or reset() takes over. */
    playEffect(type: "dual-rumble", params?: RumbleParams): Promise<"complete" | "preempted">;
    reset(): Promise<"complete">;
  }

  /** Kiln's connected pads (component "kiln-gamepad"), by index; starts reading them. Empty outside Kiln. */
  function gamepads(): Gamepad[];

  namespace gamepad {
    /** What the pads' reading is doing, in words: "not started", "reading pads through xinput1_4.dll, ...", ... */
    const status: string;
    /** Starts reading pads; resolves with the status. gamepadconnected and gamepaddisconnected then fire on window. */
    function start(): Promise<string>;
    /** Starts reading and makes navigator.getGamepads() return Kiln's pads in place of the browser's XInput pads. */
    function install(): Promise<string>;
  }

  /**
   * Steam, through Kiln's steam extension (component "kiln-steam") and the steam_api.dll beside kiln.exe.
   * When Steam is not there the game runs on: available is false, reason says why, and every call
   * rejects with that reason. Steam ids and leaderboards are decimal strings: 64 bits do not fit a number.
   */
  namespace steam {
    /** Asks once whether Steam is there; available and reason hold the answer from then on. */
    const ready: Promise<{ available: boolean; reason: string | null }>;
    const available: boolean;
    const reason: string | null;

    function unlock(name: string): Promise<void>;
    function isUnlocked(name: string): Promise<boolean>;
    function clear(name: string): Promise<void>;
    /** Shows Steam's progress toast; it never unlocks the achievement. */
    function progress(name: string, current: number, max: number): Promise<void>;
    function list(): Promise<{ name: string; unlocked: boolean }[]>;

    /** A stat is read and written as the kind it is declared with in Steamworks. */
    type StatKind = "int" | "float";
    function getStat(name: string, kind?: StatKind): Promise<number>;
    function setStat(name: string, value: number, kind?: StatKind): Promise<void>;
    /** Stores now; otherwise Kiln stores at most once every few seconds, and at exit. */
    function storeStats(): Promise<void>;

    interface FindOptions {
      /** Create the leaderboard when it does not exist (default false). */
      create?: boolean;
      sort?: "ascending" | "descending";
      display?: "numeric" | "seconds" | "milliseconds";
    }
    /** The leaderboard's handle, or null when there is none of that name. */
    function findLeaderboard(name: string, options?: FindOptions): Promise<string | null>;
    interface UploadOptions {
      /** Replace the player's score even when it was better (default false). */
      force?: boolean;
      /** At most 64 32-bit integers. */
      details?: number[];
    }
    function uploadScore(board: string, score: number, options?: UploadOptions):
      Promise<{ changed: boolean; rank: number; previousRank: number }>;
    interface DownloadOptions {
      /** "global": ranks start to end (default 1 to 10); "user": relative to the player (default -4 to 5); "friends". */
      around?: "global" | "user" | "friends";
      start?: number;
      end?: number;
    }
    interface Entry {
      rank: number;
      score: number;
      steamId: string;
      /** null while Steam does not know the player's name yet. */
      name: string | null;
      details: number[];
    }
    function downloadScores(board: string, options?: DownloadOptions): Promise<Entry[]>;

    function setRichPresence(key: string, value: string): Promise<void>;
    function clearRichPresence(): Promise<void>;
    function personaName(): Promise<string>;
    function steamId(): Promise<string>;

    /** Steam's overlay opens these, but cannot draw over a WebView2 window. */
    function openWebPage(url: string): Promise<void>;
    function openStore(appId: number): Promise<void>;
    function openOverlay(dialog: "friends" | "community" | "players" | "settings" | "officialgamegroup" | "stats" | "achievements"): Promise<void>;
    interface GamepadTextOptions {
      description?: string;
      maxChars?: number;
      text?: string;
      password?: boolean;
      multiline?: boolean;
    }
    /** Big Picture and Steam Deck only; resolves when the player closes the keyboard. */
    function showGamepadTextInput(options?: GamepadTextOptions): Promise<{ submitted: boolean; text: string | null }>;

    function language(): Promise<string>;
    function isDlcInstalled(appId: number): Promise<boolean>;
    function isSteamDeck(): Promise<boolean>;
    function isBigPicture(): Promise<boolean>;
    function appId(): Promise<number>;

    /** "overlay-activated": true when Steam's overlay opens, false when it closes. Returns the unsubscribe function. */
    function on(event: "overlay-activated", handler: (active: boolean) => void): () => void;
  }
}
