// The page: takes an image from the file chooser or a drop, has the worker
// run the programs' code on it, and shows what they print and write.
import { zipSync } from "./vendor/fflate.js";

const $ = (selector) => document.querySelector(selector);
const imageInput = $("#image");
const programSelect = $("#program");
const statusLine = $("#status");
const fitNote = $("#fit-note");
const results = $("#results");
const downloadAll = $("#download-all");

// A run that takes longer than this is stopped: the worker is replaced and
// the page says so. The programs' own bounds make this far more than any
// image needs. `?limit=MS` sets another (for tests).
const TIME_LIMIT_MS = Number(new URLSearchParams(location.search).get("limit")) || 120000;

let worker = null;
// Each request's number: only the latest may ever change the page.
let latestRun = 0;
let runTimer = null;
let current = null; // { name, bytes }: the image being shown
let zipUrl = null;

function setState(state, message) {
  document.body.dataset.state = state;
  if (message !== undefined) statusLine.textContent = message;
}

const shiftJis = new TextDecoder("shift_jis");
const shiftJisStrict = new TextDecoder("shift_jis", { fatal: true });
const western = new TextDecoder("windows-1252");

// A file's name from its bytes: Shift_JIS, as on a Japanese system; bytes
// that are not Shift_JIS are read as Windows does on a Western system.
function fileName(bytes) {
  try {
    return shiftJisStrict.decode(bytes);
  } catch {
    return western.decode(bytes);
  }
}

function hex(bytes) {
  return Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
}

function download(name, blob) {
  const url = URL.createObjectURL(blob);
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function startWorker() {
  worker = new Worker(new URL("./worker.js", import.meta.url), { type: "module" });
}

// Ends the request under way, if any: its worker is replaced and its timer
// cleared, so that nothing of it can reach the page any more.
function cancelRun() {
  if (runTimer !== null) {
    clearTimeout(runTimer);
    runTimer = null;
    if (worker) worker.terminate();
    worker = null;
  }
}

function run(program) {
  if (!current) return;
  cancelRun();
  const id = ++latestRun;
  const image = current;
  // The previous image's table and zip are not live while another is read.
  results.hidden = true;
  setState("working", `Reading ${image.name}…`);
  if (!worker) startWorker();
  const active = worker;
  const finish = () => {
    clearTimeout(runTimer);
    runTimer = null;
  };
  runTimer = setTimeout(() => {
    if (id !== latestRun) return;
    runTimer = null;
    active.terminate();
    worker = null;
    setState("error", `${image.name}: the work took too long and was stopped.`);
  }, TIME_LIMIT_MS);
  active.onmessage = (event) => {
    if (id !== latestRun) return;
    finish();
    show(event.data);
  };
  active.onerror = (event) => {
    if (id !== latestRun) return;
    finish();
    active.terminate();
    worker = null;
    setState("error", `${image.name}: the page could not work on this file (${event.message}).`);
  };
  const copy = current.bytes.slice(0);
  active.postMessage({ image: copy, program }, [copy]);
}

// What became of each entry, by the report of the same program's rules:
// the last entry of a name gives the file; earlier ones were replaced.
function entryRows(inspection, written) {
  const rows = [];
  const lastOfName = new Map();
  for (const disk of inspection.disks) {
    const entries = disk.directory ? disk.directory.entries : [];
    for (const entry of entries) {
      const row = { disk: disk.index, entry };
      rows.push(row);
      if (entry.file !== undefined && entry.file !== null) lastOfName.set(entry.file_bytes, row);
    }
  }
  for (const row of rows) {
    const e = row.entry;
    if (e.status === "skipped") {
      row.outcome = "skipped";
    } else if (e.status === "missing") {
      row.outcome = "missing: no data found";
    } else if (e.file === null) {
      row.outcome = "not written: no usable file name";
      row.kind = "not-written";
    } else if (lastOfName.get(e.file_bytes) !== row) {
      const later = lastOfName.get(e.file_bytes);
      row.outcome = `replaced by disk ${later.disk}'s file of that name`;
    } else if (!written.has(e.file_bytes)) {
      row.outcome = "not written";
      row.kind = "not-written";
    } else {
      row.file = written.get(e.file_bytes);
      row.outcome =
        e.status === "short"
          ? `short: ${e.bytes_read.toLocaleString("en")} of ${e.size.toLocaleString(
              "en",
            )} bytes found, the rest written as zeros`
          : "written";
      if (e.status === "short") row.kind = "short";
      if (e.file_bytes !== e.name_bytes) row.outcome += ` as ${row.file.name}`;
    }
  }
  return rows;
}

function show(result) {
  if (!result.ok) {
    results.hidden = true;
    setState("error", `${current.name}: ${result.message}`);
    return;
  }
  programSelect.value = result.program;
  fitNote.textContent = result.fitsTold
    ? `d88info finds that the directories fit ${result.fitsProgram}.`
    : "d88info cannot tell which program the directories fit.";

  $("#listing").textContent = shiftJis.decode(result.listing);
  $("#warnings").textContent = shiftJis.decode(result.warnings);
  $("#report").textContent = result.report;
  const statusMeaning = {
    0: "every file with data was written",
    1: "the image could not be opened",
    2: "some files could not be written",
  };
  $("#exit-status").textContent =
    `${result.program} ended with exit status ${result.status}: ${statusMeaning[result.status] ?? ""}.`;

  // The files as the program wrote them into its folder.
  const written = new Map();
  const used = new Set();
  for (const file of result.files) {
    let name = fileName(file.nameBytes);
    while (used.has(name)) name = `_${name}`;
    used.add(name);
    written.set(hex(file.nameBytes), { name, data: file.data });
  }

  const body = $("#files tbody");
  body.replaceChildren();
  for (const row of entryRows(result.inspection, written)) {
    const tr = document.createElement("tr");
    const cells = [
      String(row.disk),
      row.entry.name,
      row.entry.size === undefined ? "" : `${row.entry.size.toLocaleString("en")} bytes`,
      row.outcome,
    ];
    const classes = ["", "name", "size", `outcome-${row.kind ?? "plain"}`];
    cells.forEach((text, i) => {
      const td = document.createElement("td");
      td.textContent = text;
      if (classes[i]) td.className = classes[i];
      tr.append(td);
    });
    const action = document.createElement("td");
    if (row.file) {
      const button = document.createElement("button");
      button.type = "button";
      button.className = "small";
      button.textContent = "Download";
      button.setAttribute("aria-label", `Download ${row.file.name}`);
      const file = row.file;
      button.addEventListener("click", () =>
        download(file.name, new Blob([file.data], { type: "application/octet-stream" })),
      );
      action.append(button);
    }
    tr.append(action);
    body.append(tr);
  }

  if (zipUrl) URL.revokeObjectURL(zipUrl);
  zipUrl = null;
  const entries = {};
  for (const { name, data } of written.values()) entries[name] = [data, { level: 6 }];
  const stem = current.name.replace(/\.[^.]*$/, "") || "image";
  if (written.size > 0) {
    zipUrl = URL.createObjectURL(new Blob([zipSync(entries)], { type: "application/zip" }));
    downloadAll.href = zipUrl;
    downloadAll.download = `${stem}-${result.program}.zip`;
    downloadAll.removeAttribute("aria-disabled");
    downloadAll.textContent = `Download all ${written.size.toLocaleString("en")} ${
      written.size === 1 ? "file" : "files"
    } (.zip)`;
  } else {
    downloadAll.removeAttribute("href");
    downloadAll.setAttribute("aria-disabled", "true");
    downloadAll.textContent = "No file to download";
  }

  results.hidden = false;
  const disks = result.inspection.disks.length;
  // d88info decides whether this is a D88 image at all; what it found
  // follows below all the same.
  if (result.inspection.looks_like_d88 === false) {
    setState("done", `${current.name}: not a D88 image: ${result.inspection.not_d88_reason}.`);
    return;
  }
  const warned = result.warnings.length > 0 ? ", with warnings (below)" : "";
  setState(
    "done",
    `${current.name}: ${disks} ${disks === 1 ? "disk" : "disks"}, ${written.size.toLocaleString(
      "en",
    )} ${written.size === 1 ? "file" : "files"} written by ${result.program}${warned}.`,
  );
}

// The worker gets the image in one piece of memory: above this it is refused
// before it is read.
const MAX_IMAGE_BYTES = 2 ** 31;

async function open(file) {
  if (file.size > MAX_IMAGE_BYTES) {
    cancelRun();
    current = null;
    results.hidden = true;
    setState(
      "error",
      `${file.name}: larger than 2 GiB (${file.size.toLocaleString("en")} bytes); the page reads images up to 2 GiB. The command-line programs have no such limit.`,
    );
    return;
  }
  try {
    current = { name: file.name, bytes: await file.arrayBuffer() };
  } catch (error) {
    current = null;
    results.hidden = true;
    setState("error", `${file.name}: the file could not be read (${error.message}).`);
    return;
  }
  run("");
}

imageInput.addEventListener("change", () => {
  if (imageInput.files.length > 0) open(imageInput.files[0]);
  // Emptied, so that choosing the same file again is a change too.
  imageInput.value = "";
});
programSelect.addEventListener("change", () => run(programSelect.value));

document.addEventListener("dragover", (event) => {
  event.preventDefault();
  document.body.classList.add("dragging");
});
document.addEventListener("dragleave", (event) => {
  if (event.target === document.documentElement || event.relatedTarget === null) {
    document.body.classList.remove("dragging");
  }
});
document.addEventListener("drop", (event) => {
  event.preventDefault();
  document.body.classList.remove("dragging");
  const file = event.dataTransfer.files[0];
  if (file) {
    // The chooser must not go on showing an earlier file's name.
    imageInput.value = "";
    open(file);
  }
});
