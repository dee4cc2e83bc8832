# Starts and stops a plain headless Chromium, the browser the benchmarks
# compare Kiln against (the Chromium-backed runtime starts its own, one per
# user data folder). Source it, then:
#   kiln_chromium_start   starts a Chromium with a fresh profile on a loopback
#                         DevTools port and exports KILN_BROWSER_DEVTOOLS
#   kiln_chromium_stop    ends it and every process it started
# Returns 1 from kiln_chromium_start when there is no Chromium. Chromium ends
# with the shell that started it, however that shell ends.

kiln_chromium_start() {
  command -v chromium >/dev/null 2>&1 || return 1
  KILN_CHROMIUM_PROFILE=$(mktemp -d /tmp/kiln-chromium.XXXXXX)
  # Its own session, so that stopping it reaches the renderers too.
  setsid chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --disable-popup-blocking --disable-dev-shm-usage --mute-audio \
    --autoplay-policy=no-user-gesture-required \
    --user-data-dir="$KILN_CHROMIUM_PROFILE" --remote-debugging-address=127.0.0.1 \
    --remote-debugging-port=0 ${KILN_CHROMIUM_FLAGS:-} about:blank >"$KILN_CHROMIUM_PROFILE.log" 2>&1 &
  KILN_CHROMIUM_PID=$!
  # Should this shell end without calling kiln_chromium_stop (killed, say,
  # with its whole process group), a watchdog in a session of its own ends
  # Chromium and removes its profile.
  setsid bash -c 'while kill -0 "$1" 2>/dev/null && kill -0 "$2" 2>/dev/null; do sleep 1; done
    kill -TERM -- "-$2" 2>/dev/null && sleep 2
    kill -KILL -- "-$2" 2>/dev/null
    rm -rf "$3" "$3.log"' kiln-chromium-watchdog $$ "$KILN_CHROMIUM_PID" "$KILN_CHROMIUM_PROFILE" \
    </dev/null >/dev/null 2>&1 &
  local port_file=$KILN_CHROMIUM_PROFILE/DevToolsActivePort
  for _ in $(seq 100); do
    [ -s "$port_file" ] && [ "$(wc -l <"$port_file")" -ge 2 ] && break
    sleep 0.1
  done
  if [ ! -s "$port_file" ]; then
    kiln_chromium_stop
    return 1
  fi
  export KILN_BROWSER_DEVTOOLS="ws://127.0.0.1:$(sed -n 1p "$port_file")$(sed -n 2p "$port_file")"
}

kiln_chromium_stop() {
  if [ -n "${KILN_CHROMIUM_PID:-}" ]; then
    kill -TERM -- "-$KILN_CHROMIUM_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$KILN_CHROMIUM_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$KILN_CHROMIUM_PID" 2>/dev/null || true
    wait "$KILN_CHROMIUM_PID" 2>/dev/null || true
    KILN_CHROMIUM_PID=
  fi
  if [ -n "${KILN_CHROMIUM_PROFILE:-}" ]; then
    rm -rf "$KILN_CHROMIUM_PROFILE" "$KILN_CHROMIUM_PROFILE.log"
    KILN_CHROMIUM_PROFILE=
  fi
}
