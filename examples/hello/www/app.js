// Talks to the Kiln host through WebView2's message channel: messages go out
// as JSON text and come back as parsed objects.
const host = window.chrome && window.chrome.webview;

function send(message) {
  if (host) host.postMessage(JSON.stringify(message));
}

const stage = document.getElementById("stage").getContext("2d");
let frame = 0;
function draw() {
  stage.fillStyle = "#2b2f3a";
  stage.fillRect(0, 0, 320, 180);
  stage.fillStyle = "#f5a623";
  stage.beginPath();
  stage.arc(160 + 100 * Math.cos(frame / 30), 90 + 50 * Math.sin(frame / 30), 16, 0, 2 * Math.PI);
  stage.fill();
  frame++;
  requestAnimationFrame(draw);
}
draw();

let fullscreen = false;
document.getElementById("fullscreen").onclick = () => {
  fullscreen = !fullscreen;
  send({ type: "set-fullscreen", fullscreen });
};
document.getElementById("resize").onclick = () => {
  send({ type: "set-window-size", windowWidth: 640, windowHeight: 480 });
};

if (host) {
  host.addEventListener("message", (event) => {
    const message = event.data;
    if (message.type === "wrapper-init-response") {
      const ids = message.registeredComponentIds;
      document.getElementById("components").textContent =
        ids.length ? "Native components: " + ids.join(", ") : "No native components loaded.";
    }
  });
  send({ type: "wrapper-init" });
} else {
  document.getElementById("components").textContent = "Not running inside Kiln.";
}
