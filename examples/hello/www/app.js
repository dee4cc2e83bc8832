// Talks to the Kiln host through kiln.js (loaded before this script), which
// also lets the page open in a plain browser while it is being written.
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

const show = (id, text) => (document.getElementById(id).textContent = text);

let fullscreen = false;
document.getElementById("fullscreen").onclick = () => Kiln.window.setFullscreen((fullscreen = !fullscreen));
let small = false;
document.getElementById("resize").onclick = () => {
  small = !small;
  Kiln.window.setSize(small ? 640 : 800, small ? 480 : 600);
};

// The example extension (examples/extension) adds up numbers.
async function askExtension(a, b) {
  try {
    const { sum } = await Kiln.call("example", "add", a, b, { timeout: 5000 });
    show("answer", "The example extension says " + a + " + " + b + " = " + sum);
  } catch (error) {
    show("answer", "The example extension did not answer: " + error.message);
  }
}
document.getElementById("ask").onclick = () =>
  askExtension(Math.round(Math.random() * 100), Math.round(Math.random() * 100));

Kiln.ready.then(
  (ids) => {
    show("components", ids.length ? "Native components: " + ids.join(", ") : "No native components loaded.");
    if (ids.includes("example")) askExtension(2, 3.5);
  },
  () => show("components", "Not running inside Kiln."));
