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
  stage.fillStyle = "#4a90d9";
  stage.fillRect(0, 150, 320, 30);
  stage.fillStyle = "#f5a623";
  stage.beginPath();
  stage.arc(160 + 100 * Math.cos(frame / 30), 75 + 50 * Math.sin(frame / 30), 16, 0, 2 * Math.PI);
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
let small = false;
document.getElementById("resize").onclick = () => {
  small = !small;
  send({ type: "set-window-size", windowWidth: small ? 640 : 800, windowHeight: small ? 480 : 600 });
};

// The example extension (examples/extension) adds up numbers: each question
// carries an asyncId, and its answer comes back with the same one.
let nextQuestion = 1;
const questions = new Map();
function askExtension(a, b) {
  const asyncId = nextQuestion++;
  questions.set(asyncId, [a, b]);
  send({ type: "extension-message", componentId: "example", messageId: "add", asyncId, params: [a, b] });
}
document.getElementById("ask").onclick = () =>
  askExtension(Math.round(Math.random() * 100), Math.round(Math.random() * 100));

if (host) {
  host.addEventListener("message", (event) => {
    const message = event.data;
    if (message.type === "wrapper-init-response") {
      const ids = message.registeredComponentIds;
      document.getElementById("components").textContent =
        ids.length ? "Native components: " + ids.join(", ") : "No native components loaded.";
      if (ids.includes("example")) askExtension(2, 3.5);
    } else if (message.type === "extension-message" && message.messageId === "add") {
      const [a, b] = questions.get(message.asyncId) || ["?", "?"];
      questions.delete(message.asyncId);
      document.getElementById("answer").textContent =
        "The example extension says " + a + " + " + b + " = " + message.params.sum;
    }
  });
  send({ type: "wrapper-init" });
} else {
  document.getElementById("components").textContent = "Not running inside Kiln.";
}
