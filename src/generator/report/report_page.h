#pragma once
// The size report as one HTML page (-r FILE.html): this head, the report's
// JSON (report_text.h), then this tail. The page needs no network: its
// style and script are inline, and its content security policy lets it
// fetch nothing. The script lays out a squarified treemap of the stored
// bytes by directory and file and renders it as absolutely positioned
// boxes, with the totals, the largest files and the files that did not
// compress around it.

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
#map { position: relative; height: 560px; background: #fff; border: 1px solid #c4cad3; overflow: hidden; }
#map div { position: absolute; box-sizing: border-box; overflow: hidden; }
#map .d { border: 1px solid #9aa2b0; background: #eceff3; font-size: 11px; line-height: 13px; padding-left: 3px; white-space: nowrap; color: #39404c; }
#map .f { border: 1px solid rgba(255, 255, 255, 0.75); color: #fff; font-size: 11px; line-height: 13px; padding: 2px 4px; text-shadow: 0 0 3px rgba(0, 0, 0, 0.55); word-break: break-all; }
#map .f:hover { border-color: #1d2330; }
#tip { position: fixed; pointer-events: none; background: #1d2330; color: #fff; padding: 6px 9px; border-radius: 4px; font-size: 12px; max-width: 440px; white-space: pre-line; word-break: break-all; z-index: 10; }
table { border-collapse: collapse; width: 100%; background: #fff; }
th, td { text-align: left; padding: 3px 8px; border-bottom: 1px solid #e5e8ec; font-size: 13px; vertical-align: top; }
th { background: #eceff3; }
.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.p { word-break: break-all; }
</style>
</head>
<body>
<h1 id="title">Size report</h1>
<p id="mode" class="note"></p>
<dl id="totals"></dl>
<h2>Stored bytes by directory and file</h2>
<div id="legend"></div>
<div id="map"></div>
<div id="tip" hidden></div>
<h2>The 20 largest files in the program</h2>
<table id="largest"><thead><tr><th>file</th><th>type</th><th class="n">size</th><th class="n">stored</th><th>held as</th></tr></thead><tbody></tbody></table>
<h2>Files that did not compress</h2>
<p id="plain-note" class="note"></p>
<table id="plain"><thead><tr><th>file</th><th>type</th><th class="n">size</th></tr></thead><tbody></tbody></table>
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
  const kind = (t) => {
    if (!kindOf.has(t)) kindOf.set(t, kinds.findIndex((k) => k[2](t)));
    return kindOf.get(t);
  };

  const grouped = (n) => n.toLocaleString("en-US");
  function human(n) {
    if (n < 1024) return n + " B";
    const units = ["KiB", "MiB", "GiB", "TiB"];
    let value = n / 1024, unit = 0;
    while (value >= 1024 && unit < units.length - 1) { value /= 1024; ++unit; }
    return value.toFixed(value < 10 ? 2 : 1) + " " + units[unit];
  }
  const escaped = (text) => text.replace(/[&<>"]/g, (c) => ({"&": "&amp;", "<": "&lt;", ">": "&gt;", "\"": "&quot;"})[c]);
  const variantText = (f) => Object.keys(f.variants).map((c) => c + " " + grouped(f.variants[c])).join(", ");

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

  const map = $("map"), tip = $("tip");
  let dirs = [];
  const box = (x, y, w, h) => "left:" + x.toFixed(1) + "px;top:" + y.toFixed(1) + "px;width:" + w.toFixed(1) +
    "px;height:" + h.toFixed(1) + "px";
  function render() {
    const out = [];
    dirs = [];
    const fill = (node, x, y, w, h) => {
      const items = [];
      for (const d of node.dirs.values()) if (d.value > 0) items.push({value: d.value, dir: d});
      for (const i of node.files) if (files[i].stored > 0) items.push({value: files[i].stored, file: i});
      items.sort((a, b) => b.value - a.value);
      squarify(items, x, y, w, h, (item, bx, by, bw, bh) => {
        if (item.dir === undefined) {
          const f = files[item.file];
          const label = bw > 60 && bh > 32 ? escaped(f.path.slice(f.path.lastIndexOf("/") + 1)) + "<br>" + human(f.stored) : "";
          out.push("<div class=\"f k" + kind(f.type) + "\" data-i=\"" + item.file + "\" style=\"" +
                   box(bx, by, bw, bh) + "\">" + label + "</div>");
          return;
        }
        const labelled = bw > 40 && bh > 30;
        out.push("<div class=\"d\" data-d=\"" + dirs.length + "\" style=\"" + box(bx, by, bw, bh) + "\">" +
                 (labelled ? escaped(item.dir.name) + "/" : "") + "</div>");
        dirs.push(item.dir);
        // Inside its frame when there is room for one, else over it.
        const top = labelled ? 14 : bw > 4 && bh > 4 ? 1 : 0, side = bw > 4 && bh > 4 ? 1 : 0;
        fill(item.dir, bx + side, by + top, bw - 2 * side, bh - top - side);
      });
    };
    fill(root, 0, 0, map.clientWidth, map.clientHeight);
    map.innerHTML = out.join("");
  }
  const palette = document.createElement("style");
  palette.textContent = kinds.map((k, i) => "#map .k" + i + " { background: " + k[1] + "; }").join("\n");
  document.head.appendChild(palette);
  render();

  map.addEventListener("mousemove", (event) => {
    const target = event.target.closest("[data-i], [data-d]") || event.target;
    let text = null;
    if (target.dataset.i !== undefined) {
      const f = files[+target.dataset.i];
      text = f.path + "\n" + f.type + "\nsize " + grouped(f.size) + " B, stored " + grouped(f.stored) + " B" +
             (f.coding === "identity" ? "" : " in " + f.coding + " only") +
             (Object.keys(f.variants).length ? "\nvariants: " + variantText(f) : "\nno variant");
    } else if (target.dataset.d !== undefined) {
      const d = dirs[+target.dataset.d];
      text = d.path + "\n" + grouped(d.count) + " files, " + human(d.value) + " stored";
    }
    if (text === null) { tip.hidden = true; return; }
    tip.textContent = text;
    tip.hidden = false;
    const right = event.clientX + 14 + tip.offsetWidth > window.innerWidth;
    tip.style.left = (right ? event.clientX - 14 - tip.offsetWidth : event.clientX + 14) + "px";
    tip.style.top = Math.min(event.clientY + 14, window.innerHeight - tip.offsetHeight - 4) + "px";
  });
  map.addEventListener("mouseleave", () => { tip.hidden = true; });
  let resizing = 0;
  window.addEventListener("resize", () => {
    clearTimeout(resizing);
    resizing = setTimeout(render, 100);
  });

  // The tables.
  const row = (f, cells) => "<tr data-path=\"" + escaped(f.path) + "\"><td class=\"p\">" + escaped(f.path) +
    "</td><td>" + escaped(f.type) + "</td>" + cells + "</tr>";
  const order = files.map((f, i) => i);
  const largest = order.slice().sort((a, b) => files[b].stored - files[a].stored || (files[a].path < files[b].path ? -1 : 1));
  $("largest").tBodies[0].innerHTML = largest.slice(0, 20).map((i) => {
    const f = files[i];
    return row(f, "<td class=\"n\">" + grouped(f.size) + "</td><td class=\"n\">" + grouped(f.stored) + "</td><td>" +
               (f.coding === "identity" ? (Object.keys(f.variants).length ? "as it is, with variants" : "as it is")
                                        : f.coding + " only") + "</td>");
  }).join("");
  const plain = order.filter((i) => Object.keys(files[i].variants).length === 0)
                     .sort((a, b) => files[b].size - files[a].size || (files[a].path < files[b].path ? -1 : 1));
  let plainBytes = 0;
  for (const i of plain) plainBytes += files[i].size;
  $("plain-note").textContent = grouped(plain.length) + (plain.length === 1 ? " file, " : " files, ") +
    human(plainBytes) + (plain.length === 1 ? ", is held as it is: " : ", are held as they are: ") +
    (report.compression === "" ? "this run compressed nothing."
                               : "their type does not compress, they have 64 bytes or fewer, or compressing saved too little.");
  $("plain").tBodies[0].innerHTML = plain.map((i) => row(files[i], "<td class=\"n\">" + grouped(files[i].size) + "</td>")).join("");

  void map.offsetHeight;
  document.documentElement.dataset.renderMs = (performance.now() - started).toFixed(1);
})();
</script>
</body>
</html>
)page";
