#pragma once
// The size report as one HTML page (-r FILE.html): this head, the report's
// JSON (report_text.h), then this tail. The page needs no network: its
// style and script are inline, and its content security policy lets it
// fetch nothing. The script lays out a squarified treemap of the stored
// bytes by directory and file and draws it on a canvas (tens of thousands
// of boxes cost it little), with the totals, the largest files and the
// files that did not compress around it.

/// Everything before the JSON.
inline constexpr const char* report_page_head = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; script-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Size report</title>
<style>
:root { font: 14px/1.4 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; color: #1d2330; background: #f6f7f9; }
body { margin: 0 auto; max-width: 1240px; padding: 12px 24px 40px; }
h1 { font-size: 22px; margin: 6px 0 2px; word-break: break-all; }
h2 { font-size: 16px; margin: 26px 0 8px; }
.note { color: #5a6270; margin: 0 0 10px; }
#totals { display: flex; flex-wrap: wrap; gap: 8px; margin: 0; }
#totals div { background: #fff; border: 1px solid #dde1e7; border-radius: 6px; padding: 7px 12px; min-width: 140px; }
#totals dt { color: #5a6270; font-size: 12px; }
#totals dd { margin: 0; font-size: 18px; font-weight: 600; }
#legend { display: flex; flex-wrap: wrap; gap: 4px 14px; margin-bottom: 6px; font-size: 12px; }
#legend i { display: inline-block; width: 10px; height: 10px; margin-right: 4px; border-radius: 2px; vertical-align: -1px; }
#mapbox { position: relative; height: 560px; background: #fff; border: 1px solid #c4cad3; }
#map { display: block; }
#hover { position: absolute; pointer-events: none; border: 2px solid #1d2330; box-sizing: border-box; }
#tip { position: fixed; pointer-events: none; background: #1d2330; color: #fff; padding: 6px 9px; border-radius: 4px; font-size: 12px; max-width: 440px; white-space: pre-line; word-break: break-all; z-index: 10; }
table { border-collapse: collapse; width: 100%; background: #fff; table-layout: fixed; }
col.path { width: 46%; }
col.type { width: 20%; }
th, td { text-align: left; padding: 3px 8px; border-bottom: 1px solid #e5e8ec; font-size: 13px; vertical-align: top; }
th { background: #eceff3; }
.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.p { word-break: break-all; }
button { margin-top: 8px; font: inherit; }
</style>
</head>
<body>
<h1 id="title">Size report</h1>
<p id="mode" class="note"></p>
<dl id="totals"></dl>
<h2>Stored bytes by directory and file</h2>
<div id="legend"></div>
<div id="mapbox"><canvas id="map"></canvas><div id="hover" hidden></div></div>
<div id="tip" hidden></div>
<h2>The 20 largest files in the program</h2>
<table id="largest"><colgroup><col class="path"><col class="type"><col><col><col></colgroup>
<thead><tr><th>file</th><th>type</th><th class="n">size</th><th class="n">stored</th><th>held as</th></tr></thead><tbody></tbody></table>
<h2>Files that did not compress</h2>
<p id="plain-note" class="note"></p>
<table id="plain"><colgroup><col class="path"><col class="type"><col></colgroup>
<thead><tr><th>file</th><th>type</th><th class="n">size</th></tr></thead><tbody></tbody></table>
<button id="plain-all" type="button" hidden></button>
<script type="application/json" id="report">
)page";

/// Everything after the JSON.
inline constexpr const char* report_page_tail = R"page(
</script>
<script>
"use strict";
(function () {
  const started = performance.now();
  const report = JSON.parse(document.getElementById("report").textContent);
  const files = report.files;
  const $ = (id) => document.getElementById(id);
  const kinds = [
    ["HTML", "#e4572e", (t) => t === "text/html" || t === "application/xhtml+xml"],
    ["CSS", "#3d8bd9", (t) => t === "text/css"],
    ["Script", "#f0b429", (t) => /javascript|ecmascript|wasm/.test(t)],
    ["Image", "#8e5bd6", (t) => t.startsWith("image/")],
    ["Font", "#16a3a0", (t) => t.startsWith("font/") || /font/.test(t)],
    ["Audio and video", "#e26d9c", (t) => t.startsWith("audio/") || t.startsWith("video/")],
    ["Other text and data", "#5aa34a", (t) => t.startsWith("text/") || /json|xml/.test(t)],
    ["Other", "#8d96a3", () => true]];
  const kindOf = new Map();
  const colour = (t) => {
    if (!kindOf.has(t)) kindOf.set(t, kinds[kinds.findIndex((k) => k[2](t))][1]);
    return kindOf.get(t);
  };

  const numbers = new Intl.NumberFormat("en-US");
  const grouped = (n) => numbers.format(n);
  function human(n) {
    if (n < 1024) return n + " B";
    const units = ["KiB", "MiB", "GiB", "TiB"];
    let value = n / 1024, unit = 0;
    while (value >= 1024 && unit < units.length - 1) { value /= 1024; ++unit; }
    return value.toFixed(value < 10 ? 2 : 1) + " " + units[unit];
  }
  const escaped = (text) => text.replace(/[&<>"]/g, (c) => ({"&": "&amp;", "<": "&lt;", ">": "&gt;", "\"": "&quot;"})[c]);
  const nameOf = (path) => path.slice(path.lastIndexOf("/") + 1);

  // The page's text.
  $("title").textContent = "What " + report.target + " holds";
  document.title = "Size report: " + report.target;
  $("mode").textContent = report.compression === "" ? "Every file is held as it is (the run made no variants: -x or -z makes them)."
    : report.compression === "-x" ? "Every file is held as it is, beside its precompressed variants (-x)."
    : "The files that compress are held in " + report.compression.slice(3) + " only, the others as they are (" + report.compression + ").";
  const totals = report.totals;
  // Each total shows its bytes for people and holds its number exactly in data-value.
  const rows = [["files", grouped(totals.files), "files", totals.files], ["site", human(totals.size), "site", totals.size],
                ["program holds", human(totals.stored), "program", totals.stored],
                ["program / site", totals.size ? (totals.stored / totals.size).toFixed(2) + "\u00d7" : "-", "ratio", ""]];
  for (const coding of Object.keys(totals.saved))
    rows.push(["saved by " + coding, human(totals.saved[coding]), "saved-" + coding, totals.saved[coding]]);
  $("totals").innerHTML = rows.map((r) => "<div><dt>" + r[0] + "</dt><dd id=\"total-" + r[2] + "\" data-value=\"" +
    r[3] + "\">" + escaped(r[1]) + "</dd></div>").join("");
  $("legend").innerHTML = kinds.map((k) => "<span><i style=\"background:" + k[1] + "\"></i>" + k[0] + "</span>").join("");

  // The tree of directories, each with the stored bytes below it.
  const root = {name: "", path: "/", dirs: new Map(), files: [], value: 0, count: 0};
  files.forEach((f, i) => {
    let node = root;
    node.value += f.stored;
    ++node.count;
    const parts = f.path.split("/");
    for (let p = 1; p < parts.length - 1; ++p) {
      let next = node.dirs.get(parts[p]);
      if (!next) {
        next = {name: parts[p], path: node.path + parts[p] + "/", dirs: new Map(), files: [], value: 0, count: 0};
        node.dirs.set(parts[p], next);
      }
      node = next;
      node.value += f.stored;
      ++node.count;
    }
    node.files.push(i);
  });

  // Squarified layout: rows along the shorter side, each grown while it
  // makes its boxes no less square.
  function squarify(items, x, y, w, h, place) {
    let total = 0;
    for (const item of items) total += item.value;
    let i = 0;
    while (i < items.length && w > 0 && h > 0 && total > 0) {
      const scale = w * h / total;
      const side = Math.min(w, h);
      let sum = 0, least = Infinity, most = 0, worst = Infinity, j = i;
      for (; j < items.length; ++j) {
        const area = items[j].value * scale;
        const s = sum + area, lo = Math.min(least, area), hi = Math.max(most, area);
        const ratio = Math.max(side * side * hi / (s * s), s * s / (side * side * lo));
        if (j > i && ratio > worst) break;
        sum = s; least = lo; most = hi; worst = ratio;
      }
      const thick = sum / side;
      let along = 0;
      for (let k = i; k < j; ++k) {
        const length = items[k].value * scale / thick;
        if (w >= h) place(items[k], x, y + along, thick, length);
        else place(items[k], x + along, y, length, thick);
        along += length;
        total -= items[k].value;
      }
      if (w >= h) { x += thick; w -= thick; } else { y += thick; h -= thick; }
      i = j;
    }
  }

  // The boxes drawn, in drawing order (a directory before what it holds),
  // for the hover: [x, y, w, h, file index or -1, directory or null].
  const mapbox = $("mapbox"), canvas = $("map"), hover = $("hover"), tip = $("tip");
  let boxes = [];
  function label(g, lines, x, y, w, h, fill, shadow) {
    g.save();
    g.beginPath();
    g.rect(x, y, w, h);
    g.clip();
    g.fillStyle = fill;
    g.shadowColor = shadow;
    g.shadowBlur = shadow ? 3 : 0;
    lines.forEach((line, n) => g.fillText(line, x + 4, y + 12 + 13 * n));
    g.restore();
  }
  function render() {
    const width = mapbox.clientWidth, height = mapbox.clientHeight, ratio = window.devicePixelRatio || 1;
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
    canvas.style.width = width + "px";
    canvas.style.height = height + "px";
    const g = canvas.getContext("2d");
    g.scale(ratio, ratio);
    g.font = "11px system-ui, sans-serif";
    boxes = [];
    let tiles = 0, bytes = 0;
    const fill = (node, x, y, w, h) => {
      const items = [];
      for (const d of node.dirs.values()) if (d.value > 0) items.push({value: d.value, dir: d});
      for (const i of node.files) if (files[i].stored > 0) items.push({value: files[i].stored, file: i});
      items.sort((a, b) => b.value - a.value);
      squarify(items, x, y, w, h, (item, bx, by, bw, bh) => {
        const framed = bw > 4 && bh > 4;
        if (item.dir === undefined) {
          const f = files[item.file];
          g.fillStyle = colour(f.type);
          g.fillRect(bx, by, bw, bh);
          if (framed) { g.strokeStyle = "rgba(255, 255, 255, 0.75)"; g.strokeRect(bx + 0.5, by + 0.5, bw - 1, bh - 1); }
          if (bw > 60 && bh > 32) label(g, [nameOf(f.path), human(f.stored)], bx, by, bw, bh, "#fff", "rgba(0, 0, 0, 0.6)");
          boxes.push([bx, by, bw, bh, item.file, null]);
          ++tiles;
          bytes += f.stored;
          return;
        }
        const titled = bw > 40 && bh > 30;
        g.fillStyle = "#eceff3";
        g.fillRect(bx, by, bw, bh);
        if (framed) { g.strokeStyle = "#9aa2b0"; g.strokeRect(bx + 0.5, by + 0.5, bw - 1, bh - 1); }
        if (titled) label(g, [item.dir.name + "/"], bx, by - 1, bw, bh, "#39404c", "");
        boxes.push([bx, by, bw, bh, -1, item.dir]);
        // Inside its frame and below its name when there is room, else over it.
        const top = titled ? 14 : framed ? 1 : 0, side = framed ? 1 : 0;
        fill(item.dir, bx + side, by + top, bw - 2 * side, bh - top - side);
      });
    };
    fill(root, 0, 0, width, height);
    // What was drawn, for anyone who reads the page rather than looks at it.
    canvas.dataset.tiles = tiles;
    canvas.dataset.bytes = bytes;
  }
  render();

  // The box under the pointer: the last drawn that holds it, so a file
  // before the directory around it.
  function boxAt(x, y) {
    for (let i = boxes.length - 1; i >= 0; --i) {
      const b = boxes[i];
      if (x >= b[0] && y >= b[1] && x < b[0] + b[2] && y < b[1] + b[3]) return b;
    }
    return null;
  }
  canvas.addEventListener("mousemove", (event) => {
    const area = canvas.getBoundingClientRect();
    const b = boxAt(event.clientX - area.left, event.clientY - area.top);
    if (!b) { tip.hidden = hover.hidden = true; return; }
    let text;
    if (b[4] >= 0) {
      const f = files[b[4]];
      const variants = Object.keys(f.variants).map((c) => c + " " + grouped(f.variants[c]) + " B").join(", ");
      text = f.path + "\n" + f.type + "\nsize " + grouped(f.size) + " B, stored " + grouped(f.stored) + " B" +
             (f.coding === "identity" ? "" : " in " + f.coding + " only") + (variants ? "\nvariants: " + variants : "\nno variant");
    } else {
      text = b[5].path + "\n" + grouped(b[5].count) + " files, " + human(b[5].value) + " stored";
    }
    hover.style.left = b[0] + "px";
    hover.style.top = b[1] + "px";
    hover.style.width = b[2] + "px";
    hover.style.height = b[3] + "px";
    tip.textContent = text;
    tip.hidden = hover.hidden = false;
    const right = event.clientX + 14 + tip.offsetWidth > window.innerWidth;
    tip.style.left = (right ? event.clientX - 14 - tip.offsetWidth : event.clientX + 14) + "px";
    tip.style.top = Math.min(event.clientY + 14, window.innerHeight - tip.offsetHeight - 4) + "px";
  });
  canvas.addEventListener("mouseleave", () => { tip.hidden = hover.hidden = true; });
  let resizing = 0;
  window.addEventListener("resize", () => {
    clearTimeout(resizing);
    resizing = setTimeout(render, 100);
  });

  // The tables: the largest files, and the files held without a variant,
  // largest first, the first 200 at once and the rest on demand.
  const row = (f, cells) => "<tr data-path=\"" + escaped(f.path) + "\"><td class=\"p\">" + escaped(f.path) +
    "</td><td>" + escaped(f.type) + "</td>" + cells + "</tr>";
  const byPath = (a, b) => (files[a].path < files[b].path ? -1 : files[a].path > files[b].path ? 1 : 0);
  const order = files.map((f, i) => i);
  const largest = order.slice().sort((a, b) => files[b].stored - files[a].stored || byPath(a, b)).slice(0, 20);
  $("largest").tBodies[0].innerHTML = largest.map((i) => {
    const f = files[i];
    return row(f, "<td class=\"n\">" + grouped(f.size) + "</td><td class=\"n\">" + grouped(f.stored) + "</td><td>" +
               (f.coding === "identity" ? (Object.keys(f.variants).length ? "as it is, with variants" : "as it is")
                                        : f.coding + " only") + "</td>");
  }).join("");
  const plain = order.filter((i) => Object.keys(files[i].variants).length === 0)
                     .sort((a, b) => files[b].size - files[a].size || byPath(a, b));
  let plainBytes = 0;
  for (const i of plain) plainBytes += files[i].size;
  const note = $("plain-note");
  note.dataset.value = plain.length;
  note.textContent = grouped(plain.length) + (plain.length === 1 ? " file, " : " files, ") + human(plainBytes) +
    (plain.length === 1 ? ", is held as it is: " : ", are held as they are: ") +
    (report.compression === "" ? "this run compressed nothing."
                               : "their type does not compress, they have 64 bytes or fewer, or compressing saved too little.");
  const plainRows = (from, to) => plain.slice(from, to).map((i) => row(files[i], "<td class=\"n\">" + grouped(files[i].size) + "</td>")).join("");
  const shown = 200;
  $("plain").tBodies[0].innerHTML = plainRows(0, shown);
  if (plain.length > shown) {
    const more = $("plain-all");
    more.textContent = "Show all " + grouped(plain.length) + " files";
    more.hidden = false;
    more.addEventListener("click", () => {
      $("plain").tBodies[0].insertAdjacentHTML("beforeend", plainRows(shown, plain.length));
      more.hidden = true;
    });
  }

  void document.body.offsetHeight;
  document.documentElement.dataset.renderMs = (performance.now() - started).toFixed(1);
})();
</script>
</body>
</html>
)page";
