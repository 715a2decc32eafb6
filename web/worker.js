// Runs the programs' own code, compiled to WebAssembly, away from the page:
// a large or hostile image never makes the page stop answering.
//
// Message in:  { image: ArrayBuffer, program: "d88ext8" | "d88ext6" | "" }
//              ("" lets d88info choose the program the disks fit)
// Message out: { ok: true, program, fits, status, listing, warnings, report,
//                inspection, files: [{ nameBytes, data }] }
//              or { ok: false, message }
import loadD88 from "./d88web.js";

const modulePromise = loadD88();

const ENTRY_SIZE = { d88ext8: 11, d88ext6: 9 };

function hexToBytes(hex) {
  const bytes = new Uint8Array(hex.length / 2);
  for (let i = 0; i < bytes.length; i++) bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
  return bytes;
}

function readOr(FS, path, fallback) {
  try {
    return FS.readFile(path);
  } catch {
    return fallback;
  }
}

// The program the disks fit, by d88info's verdict for each disk: the one
// most disks fit; d88ext8 when no disk says.
function chooseProgram(inspection) {
  const votes = { d88ext8: 0, d88ext6: 0 };
  for (const disk of inspection.disks) {
    if (disk.fits in votes) votes[disk.fits]++;
  }
  if (votes.d88ext6 > votes.d88ext8) return { program: "d88ext6", told: true };
  return { program: "d88ext8", told: votes.d88ext8 > 0 };
}

function emptyFolder(FS, folder) {
  for (const name of FS.readdir(folder)) {
    if (name !== "." && name !== "..") FS.unlink(`${folder}/${name}`);
  }
}

self.onmessage = async (event) => {
  try {
    const { image, program: asked } = event.data;
    const Module = await modulePromise;
    const FS = Module.FS;
    FS.writeFile("/image.d88", new Uint8Array(image));
    try {
      FS.mkdir("/out");
    } catch {
      // there from an earlier image
    }
    emptyFolder(FS, "/out");

    // Which program the disks fit: d88info without --dir.
    if (Module._d88_inspect(0) === 1) {
      self.postMessage({ ok: false, message: "The file could not be read as an image." });
      return;
    }
    const decoder = new TextDecoder("utf-8");
    const fitting = JSON.parse(decoder.decode(FS.readFile("/report.json")));
    const chosen = chooseProgram(fitting);
    const program = asked in ENTRY_SIZE ? asked : chosen.program;

    const status = Module._d88_extract(ENTRY_SIZE[program]);
    const listing = readOr(FS, "/stdout", new Uint8Array());
    const warnings = readOr(FS, "/stderr", new Uint8Array());

    // d88info's report, with the directory read the chosen program's way.
    Module._d88_inspect(ENTRY_SIZE[program]);
    const report = decoder.decode(FS.readFile("/report.txt"));
    const inspection = JSON.parse(decoder.decode(FS.readFile("/report.json")));

    const files = [];
    for (const name of FS.readdir("/out")) {
      if (name === "." || name === "..") continue;
      files.push({ nameBytes: hexToBytes(name), data: FS.readFile(`/out/${name}`) });
    }
    emptyFolder(FS, "/out");
    FS.unlink("/image.d88");

    self.postMessage(
      {
        ok: true,
        program,
        fitsTold: chosen.told,
        fitsProgram: chosen.program,
        status,
        listing,
        warnings,
        report,
        inspection,
        files,
      },
      [listing.buffer, warnings.buffer, ...files.map((f) => f.data.buffer)],
    );
  } catch (error) {
    self.postMessage({ ok: false, message: `The page could not work on this file: ${error}` });
  }
};
