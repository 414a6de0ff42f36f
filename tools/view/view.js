"use strict";
// The viewer's page: pseudo-sections drawn on canvases from the survey's arrays (one value per
// reading, never one element per reading), a reading's details drawn as SVG on a click.
(function () {
  const token = new URLSearchParams(location.search).get("token") || "";
  const $ = (id) => document.getElementById(id);
  const SVGNS = "http://www.w3.org/2000/svg";
  const quantities = {
    rhoa: { label: "ρa", unit: "Ω·m", log: true }, m: { label: "M", unit: "mV/V", log: false },
    r: { label: "R", unit: "Ω", log: true }, vp: { label: "Vp", unit: "mV", log: true },
    i: { label: "I", unit: "mA", log: true }, k: { label: "K", unit: "m", log: true },
  };
  const state = {
    survey: null, file: 0, quantity: "rhoa", range: null, selected: null,
    choices: [], // per file: Map index -> "reject" | "keep"
    zoom: [],    // per file and panel: {x0, x1, d0, d1} or null
    panels: [],  // drawn panels of the file shown: {canvas, frame, grid}
    times: { firstDraw: null, panel: null, panelFetch: null },
    edit: false,
  };
  window.__view = state;

  function api(path, body) {
    const options = { headers: { "X-Ertkit-Token": token } };
    if (body !== undefined) {
      options.method = "POST";
      options.headers["Content-Type"] = "application/json";
      options.body = JSON.stringify(body);
    }
    return fetch(path, options).then((r) => r.json().then((j) => {
      if (!r.ok) throw new Error(j.error || r.statusText);
      return j;
    }));
  }

  // Arrays of numbers or nulls become typed arrays, NaN for null.
  function typed(list) {
    const out = new Float64Array(list.length);
    for (let i = 0; i < list.length; ++i) out[i] = list[i] === null ? NaN : list[i];
    return out;
  }

  function prepare(file) {
    for (const key of ["x", "depth", "panel", "rhoa", "m", "r", "vp", "i", "k", "ignore"]) file[key] = typed(file[key]);
    file.reasons = Uint32Array.from(file.qc.reasons);
    file.byPanel = file.panels.map(() => []);
    for (let i = 0; i < file.x.length; ++i) if (!isNaN(file.panel[i])) file.byPanel[file.panel[i]].push(i);
  }

  // --- colours -------------------------------------------------------------------------
  const stops = [[68, 1, 84], [59, 82, 139], [33, 145, 140], [94, 201, 98], [253, 231, 37]];
  const lut = [];
  for (let i = 0; i < 256; ++i) {
    const t = (i / 255) * (stops.length - 1), k = Math.min(Math.floor(t), stops.length - 2), f = t - k;
    lut.push("rgb(" + stops[k].map((c, j) => Math.round(c + f * (stops[k + 1][j] - c))).join(",") + ")");
  }
  function logScale() {
    const r = state.range;
    return $("log").checked && quantities[state.quantity].log && r && r[0] > 0;
  }
  function colourIndex(v) {
    const [lo, hi] = state.range;
    // On a log scale a value at or below 0 takes the lowest colour.
    let t = logScale() ? (v > 0 ? (Math.log(v) - Math.log(lo)) / (Math.log(hi) - Math.log(lo)) : 0) : (v - lo) / (hi - lo);
    if (!isFinite(t)) t = 0.5;
    return Math.max(0, Math.min(255, Math.round(t * 255)));
  }
  // The colour limits a quantity starts with: its values from the 1st to the 99th percentile,
  // so that a few outliers (a negative ρa among thousands) do not take the whole scale; on a
  // log scale, of its positive values only.
  function autoRange(file) {
    const values = file[state.quantity], log = quantities[state.quantity].log;
    let finite = values.filter((v) => isFinite(v));
    const positive = finite.filter((v) => v > 0);
    if (log && positive.length > 0) finite = positive;
    if (!finite.length) return [0, 1];
    finite.sort();
    const at = (q) => finite[Math.min(finite.length - 1, Math.max(0, Math.round(q * (finite.length - 1))))];
    const lo = at(0.01), hi = at(0.99);
    return lo === hi ? [lo - Math.abs(lo) * 0.1 - 1, hi + Math.abs(hi) * 0.1 + 1] : [lo, hi];
  }

  // --- reading state -------------------------------------------------------------------
  function ignored(fileIndex, i) {
    const choice = state.choices[fileIndex].get(i);
    if (choice) return choice === "reject";
    return state.survey.files[fileIndex].ignore[i] === 1;
  }

  // --- pseudo-sections -----------------------------------------------------------------
  const margin = { left: 56, right: 12, top: 10, bottom: 34 };
  function panelExtent(file, p) {
    let x0 = Infinity, x1 = -Infinity, d1 = 0;
    for (const i of file.byPanel[p]) { x0 = Math.min(x0, file.x[i]); x1 = Math.max(x1, file.x[i]); d1 = Math.max(d1, file.depth[i]); }
    const pad = Math.max((x1 - x0) * 0.03, 1);
    return { x0: x0 - pad, x1: x1 + pad, d0: 0, d1: d1 * 1.08 + 0.5 };
  }

  function buildPanels() {
    const file = state.survey.files[state.file];
    const holder = $("sections");
    holder.textContent = "";
    state.panels = [];
    const width = Math.max(400, holder.clientWidth - 2);
    file.panels.forEach((name, p) => {
      const div = document.createElement("div");
      div.className = "panel";
      const h = document.createElement("h3");
      h.textContent = name + " (" + file.byPanel[p].length + " readings)";
      const canvas = document.createElement("canvas");
      canvas.id = "section-" + p;
      const extent = panelExtent(file, p);
      const aspect = (extent.d1 - extent.d0) / (extent.x1 - extent.x0);
      const height = Math.round(Math.max(160, Math.min(420, (width - margin.left - margin.right) * aspect * 2.5))) + margin.top + margin.bottom;
      canvas.width = width; canvas.height = height;
      canvas.style.width = width + "px"; canvas.style.height = height + "px";
      // The selection is drawn on a canvas of its own over the section, so that choosing a
      // reading redraws one ring, not every reading.
      const overlay = document.createElement("canvas");
      overlay.className = "overlay";
      overlay.width = width; overlay.height = height;
      overlay.style.width = width + "px"; overlay.style.height = height + "px";
      const stack = document.createElement("div");
      stack.className = "stack";
      stack.append(canvas, overlay);
      div.append(h, stack);
      holder.append(div);
      const panel = { canvas, overlay, index: p, extent, grid: null, size: 0 };
      state.panels.push(panel);
      attachPanelEvents(panel);
    });
    const bar = document.createElement("div");
    bar.className = "colourbar";
    bar.innerHTML = '<span id="barlo"></span><canvas id="bar" width="300" height="12"></canvas><span id="barhi"></span><span id="barunit"></span>';
    holder.append(bar);
    const ctx = $("bar").getContext("2d");
    for (let i = 0; i < 300; ++i) { ctx.fillStyle = lut[Math.round((i / 299) * 255)]; ctx.fillRect(i, 0, 1, 12); }
  }

  function frameOf(panel) {
    const z = state.zoom[state.file][panel.index] || panel.extent;
    const w = panel.canvas.width - margin.left - margin.right, h = panel.canvas.height - margin.top - margin.bottom;
    return {
      z, x: (v) => margin.left + ((v - z.x0) / (z.x1 - z.x0)) * w, y: (d) => margin.top + ((d - z.d0) / (z.d1 - z.d0)) * h,
      fromX: (px) => z.x0 + ((px - margin.left) / w) * (z.x1 - z.x0), fromY: (py) => z.d0 + ((py - margin.top) / h) * (z.d1 - z.d0), w, h,
    };
  }

  function ticks(lo, hi, count) {
    const span = hi - lo, step0 = Math.pow(10, Math.floor(Math.log10(span / count)));
    const step = [1, 2, 5, 10].map((m) => m * step0).find((s) => span / s <= count) || step0 * 10;
    const out = [];
    for (let v = Math.ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) out.push(+v.toPrecision(12));
    return out;
  }

  function drawPanel(panel) {
    const file = state.survey.files[state.file];
    const ctx = panel.canvas.getContext("2d");
    const f = frameOf(panel);
    const values = file[state.quantity];
    ctx.clearRect(0, 0, panel.canvas.width, panel.canvas.height);
    ctx.fillStyle = "#f4f4f4";
    ctx.fillRect(margin.left, margin.top, f.w, f.h);
    const readings = file.byPanel[panel.index];
    // The marker's size follows the readings' spacing on screen, within bounds.
    const density = Math.sqrt((f.w * f.h) / Math.max(1, readings.length));
    const size = Math.max(3, Math.min(14, density * 0.8 * Math.sqrt((panel.extent.x1 - panel.extent.x0) / (f.z.x1 - f.z.x0))));
    const half = size / 2, cell = 16;
    const grid = new Map();
    ctx.save();
    ctx.beginPath(); ctx.rect(margin.left, margin.top, f.w, f.h); ctx.clip();
    const markQc = $("markqc").checked, choices = state.choices[state.file];
    const hollow = [], flagged = [];
    for (const i of readings) {
      const px = f.x(file.x[i]), py = f.y(file.depth[i]);
      if (px < margin.left - size || px > margin.left + f.w + size || py < margin.top - size || py > margin.top + f.h + size) continue;
      const key = Math.floor(px / cell) * 65536 + Math.floor(py / cell);
      let bucket = grid.get(key);
      if (!bucket) grid.set(key, (bucket = []));
      bucket.push(i);
      const v = values[i];
      const off = choices.size ? ignored(state.file, i) : file.ignore[i] === 1;
      if (!isFinite(v) || off) { hollow.push(i); continue; }
      ctx.fillStyle = lut[colourIndex(v)];
      ctx.fillRect(px - half, py - half, size, size);
      if (markQc && file.reasons[i]) flagged.push(i);
    }
    ctx.lineWidth = 1;
    for (const i of hollow) {
      const v = values[i];
      ctx.strokeStyle = isFinite(v) ? lut[colourIndex(v)] : "#999";
      ctx.strokeRect(f.x(file.x[i]) - half + 0.5, f.y(file.depth[i]) - half + 0.5, size - 1, size - 1);
    }
    ctx.strokeStyle = "#d00";
    ctx.beginPath();
    for (const i of flagged) {
      const px = f.x(file.x[i]), py = f.y(file.depth[i]);
      ctx.moveTo(px - half, py - half); ctx.lineTo(px + half, py + half);
    }
    ctx.stroke();
    ctx.restore();
    panel.size = size;
    drawSelection(panel);
    panel.grid = { map: grid, cell };
    // Axes.
    ctx.strokeStyle = "#666"; ctx.fillStyle = "#333"; ctx.lineWidth = 1; ctx.font = "11px sans-serif";
    ctx.strokeRect(margin.left, margin.top, f.w, f.h);
    ctx.textAlign = "center";
    for (const t of ticks(f.z.x0, f.z.x1, 10)) { const px = f.x(t); ctx.fillText(String(t), px, margin.top + f.h + 13); }
    ctx.fillText(file.axis, margin.left + f.w / 2, margin.top + f.h + 28);
    ctx.textAlign = "right";
    for (const t of ticks(f.z.d0, f.z.d1, 5)) ctx.fillText(String(t), margin.left - 4, f.y(t) + 4);
    ctx.save(); ctx.translate(12, margin.top + f.h / 2); ctx.rotate(-Math.PI / 2); ctx.textAlign = "center";
    ctx.fillText("pseudo-depth (m)", 0, 0); ctx.restore();
  }

  function drawSelection(panel) {
    const file = state.survey.files[state.file], ctx = panel.overlay.getContext("2d"), sel = state.selected;
    ctx.clearRect(0, 0, panel.overlay.width, panel.overlay.height);
    if (!sel || sel.file !== state.file || file.panel[sel.index] !== panel.index) return;
    const f = frameOf(panel), half = panel.size / 2;
    ctx.strokeStyle = "#000"; ctx.lineWidth = 2;
    ctx.strokeRect(f.x(file.x[sel.index]) - half - 3, f.y(file.depth[sel.index]) - half - 3, panel.size + 6, panel.size + 6);
  }

  function drawAll() {
    for (const panel of state.panels) drawPanel(panel);
    const q = quantities[state.quantity];
    $("barlo").textContent = fmt(state.range[0]);
    $("barhi").textContent = fmt(state.range[1]);
    $("barunit").textContent = q.label + " (" + q.unit + ")" + (logScale() ? ", log scale" : "");
  }

  function readingAt(panel, px, py) {
    if (!panel.grid) return null;
    const file = state.survey.files[state.file], f = frameOf(panel), cell = panel.grid.cell;
    let best = null, bestD = 10 * 10;
    for (let gx = Math.floor(px / cell) - 1; gx <= Math.floor(px / cell) + 1; ++gx)
      for (let gy = Math.floor(py / cell) - 1; gy <= Math.floor(py / cell) + 1; ++gy)
        for (const i of panel.grid.map.get(gx * 65536 + gy) || []) {
          const d = (f.x(file.x[i]) - px) ** 2 + (f.y(file.depth[i]) - py) ** 2;
          if (d < bestD) { bestD = d; best = i; }
        }
    return best;
  }

  function attachPanelEvents(panel) {
    const c = panel.canvas;
    const pos = (e) => { const r = c.getBoundingClientRect(); return [e.clientX - r.left, e.clientY - r.top]; };
    let drag = null;
    c.addEventListener("mousemove", (e) => {
      const [px, py] = pos(e);
      if (drag) {
        const f = frameOf(panel), dx = f.fromX(drag.px) - f.fromX(px), dy = f.fromY(drag.py) - f.fromY(py);
        if (Math.abs(px - drag.px) + Math.abs(py - drag.py) > 2) drag.moved = true;
        const z = drag.z;
        state.zoom[state.file][panel.index] = { x0: z.x0 + dx, x1: z.x1 + dx, d0: z.d0 + dy, d1: z.d1 + dy };
        drawPanel(panel);
        return;
      }
      const i = readingAt(panel, px, py);
      $("hover").textContent = i === null ? "" : hoverText(i);
    });
    c.addEventListener("mousedown", (e) => { const [px, py] = pos(e); drag = { px, py, z: frameOf(panel).z, moved: false }; });
    c.addEventListener("mouseup", (e) => {
      const moved = drag && drag.moved;
      drag = null;
      if (moved) return;
      const [px, py] = pos(e);
      const i = readingAt(panel, px, py);
      if (i !== null) select(state.file, i);
    });
    c.addEventListener("mouseleave", () => { drag = null; });
    c.addEventListener("wheel", (e) => {
      e.preventDefault();
      // The wheel zooms along the line, where a long survey needs it, keeping every level in
      // sight; with Shift it zooms the depth too.
      const [px, py] = pos(e), f = frameOf(panel), z = f.z, s = (e.deltaY || e.deltaX) < 0 ? 0.8 : 1.25, sd = e.shiftKey ? s : 1;
      const cx = f.fromX(px), cy = f.fromY(py);
      state.zoom[state.file][panel.index] = { x0: cx + (z.x0 - cx) * s, x1: cx + (z.x1 - cx) * s, d0: cy + (z.d0 - cy) * sd, d1: cy + (z.d1 - cy) * sd };
      drawPanel(panel);
    }, { passive: false });
    c.addEventListener("dblclick", () => { state.zoom[state.file][panel.index] = null; drawPanel(panel); });
  }

  function fmt(v, digits) {
    if (v === null || v === undefined || (typeof v === "number" && !isFinite(v))) return "–";
    if (typeof v !== "number") return String(v);
    return Math.abs(v) >= 1e5 || (Math.abs(v) < 1e-3 && v !== 0) ? v.toExponential((digits || 4) - 1) : +v.toPrecision(digits || 4) + "";
  }

  function reasonText(bits) {
    const names = [];
    state.survey.reasons.forEach((name, r) => { if (bits & (1 << r)) names.push(name); });
    return names.join(", ");
  }

  function hoverText(i) {
    const file = state.survey.files[state.file], q = quantities[state.quantity];
    let text = "#" + i + "  " + q.label + " " + fmt(file[state.quantity][i]) + " " + q.unit + "  x " + fmt(file.x[i]) + " m, depth " + fmt(file.depth[i]) + " m";
    if (ignored(state.file, i)) text += "  ignored";
    if (file.reasons[i]) text += "  QC: " + reasonText(file.reasons[i]);
    return text;
  }

  // Where a reading is drawn, for a test that clicks it: the canvas's id and the point in it.
  window.viewScreenPosition = function (fileIndex, i) {
    const file = state.survey.files[fileIndex];
    const panel = state.panels.find((p) => p.index === file.panel[i]);
    if (!panel || fileIndex !== state.file) return null;
    const f = frameOf(panel);
    return { canvas: panel.canvas.id, x: f.x(file.x[i]), y: f.y(file.depth[i]), width: panel.canvas.width, height: panel.canvas.height };
  };

  // --- a reading's panel ---------------------------------------------------------------
  function svgPlot(title, width, height, xr, yr, xlabel, ylabel, draw) {
    const m = { left: 58, right: 10, top: 18, bottom: 30 };
    const w = width - m.left - m.right, h = height - m.top - m.bottom;
    if (!(yr[1] > yr[0])) yr = [yr[0] - 1, yr[0] + 1];
    if (!(xr[1] > xr[0])) xr = [xr[0] - 1, xr[0] + 1];
    const X = (v) => m.left + ((v - xr[0]) / (xr[1] - xr[0])) * w, Y = (v) => m.top + h - ((v - yr[0]) / (yr[1] - yr[0])) * h;
    const parts = [];
    parts.push(`<text x="${m.left}" y="12" font-size="11" font-weight="600">${title}</text>`);
    parts.push(`<rect x="${m.left}" y="${m.top}" width="${w}" height="${h}" fill="#fcfcfc" stroke="#888"/>`);
    draw(parts, X, Y, m, w, h);
    for (const t of ticks(xr[0], xr[1], 8)) parts.push(`<text x="${X(t)}" y="${m.top + h + 12}" font-size="10" text-anchor="middle">${t}</text>`);
    for (const t of ticks(yr[0], yr[1], 5)) parts.push(`<text x="${m.left - 4}" y="${Y(t) + 3}" font-size="10" text-anchor="end">${t}</text>`);
    parts.push(`<text x="${m.left + w / 2}" y="${height - 3}" font-size="10" text-anchor="middle">${xlabel}</text>`);
    parts.push(`<text transform="translate(10 ${m.top + h / 2}) rotate(-90)" font-size="10" text-anchor="middle">${ylabel}</text>`);
    return `<svg xmlns="${SVGNS}" width="${width}" height="${height}" viewBox="0 0 ${width} ${height}">${parts.join("")}</svg>`;
  }
  const path = (pts) => pts.map((p, k) => (k ? "L" : "M") + p[0].toFixed(1) + " " + p[1].toFixed(1)).join("");
  function range(values) {
    let lo = Infinity, hi = -Infinity;
    for (const v of values) if (v !== null && isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
    return lo <= hi ? [lo, hi] : [0, 1];
  }

  function stackSvg(r) {
    const s = r.stack, n = s.values.length;
    if (!n) return `<p class="hint">No stacked signal stored in this record.</p>`;
    const cycle = s.step_ms * n, times = r.decay.window_times;
    return svgPlot(`Stacked signal (${r.values.stacks} stacks), windows shaded`, 500, 170, [0, cycle], range(s.values), "time in the cycle (ms)", "mV",
      (parts, X, Y, m, w, h) => {
        for (let k = 0; k + 1 < times.length; ++k) {
          const a = X(s.pulse_ms + times[k]), b = X(s.pulse_ms + times[k + 1]);
          parts.push(`<rect class="gate" x="${a}" y="${m.top}" width="${Math.max(0.5, b - a)}" height="${h}" fill="${k % 2 ? "#ffcc80" : "#ffe0b2"}"/>`);
        }
        // At most about two points a pixel: the lowest and highest of each pixel's samples.
        const per = Math.max(1, Math.floor(n / (2 * w))), pts = [];
        for (let k = 0; k < n; k += per) {
          let lo = Infinity, hi = -Infinity, klo = k, khi = k;
          for (let j = k; j < Math.min(n, k + per); ++j) { if (s.values[j] < lo) { lo = s.values[j]; klo = j; } if (s.values[j] > hi) { hi = s.values[j]; khi = j; } }
          const first = Math.min(klo, khi) === klo ? [klo, lo] : [khi, hi], second = first[0] === klo ? [khi, hi] : [klo, lo];
          pts.push([X(first[0] * s.step_ms), Y(first[1])]);
          if (per > 1) pts.push([X(second[0] * s.step_ms), Y(second[1])]);
        }
        parts.push(`<path d="${path(pts)}" fill="none" stroke="#1f5fa8" stroke-width="1.1"/>`);
      });
  }

  function decaySvg(r) {
    const d = r.decay;
    if (!d.points.length) return `<p class="hint">No chargeability windows in this record.</p>`;
    const end = d.window_times[d.window_times.length - 1] * 1.05;
    const model = r.model && r.model.curve && r.model.curve.length ? r.model : null;
    // The server reads the model's decay as reprocessing does, in mV/V.
    const modelPoints = model ? model.curve.filter((p) => p[0] !== null && p[1] !== null && p[0] <= end) : [];
    const yr = range(d.points.map((p) => p[1]).concat(modelPoints.map((p) => p[1])));
    return svgPlot(`Decay: M ${fmt(r.values.m)} mV/V over ${d.window_m.length} gates` + (model ? ", Cole-Cole model" : ""), 500, 170,
      [0, end], [Math.min(0, yr[0]), yr[1] * 1.1], "time after switch-off (ms)", "M (mV/V)", (parts, X, Y, m, w, h) => {
        for (let k = 0; k + 1 < d.window_times.length; ++k) {
          const a = X(d.window_times[k]), b = X(d.window_times[k + 1]);
          parts.push(`<rect class="gate" x="${a}" y="${m.top}" width="${Math.max(0.5, b - a)}" height="${h}" fill="${k % 2 ? "#ffcc80" : "#ffe0b2"}" opacity="0.6"/>`);
        }
        if (modelPoints.length) parts.push(`<path class="model" d="${path(modelPoints.map((p) => [X(p[0]), Y(p[1])]))}" fill="none" stroke="#2a9d2a" stroke-dasharray="4 3"/>`);
        parts.push(`<path d="${path(d.points.map((p) => [X(p[0]), Y(p[1])]))}" fill="none" stroke="#d62728"/>`);
        for (const p of d.points) parts.push(`<circle cx="${X(p[0])}" cy="${Y(p[1])}" r="3" fill="#d62728"/>`);
      });
  }

  function injectionSvg(side, label, unit) {
    if (!side) return `<p class="hint">${label}: no recording of this injection found.</p>`;
    if (side.error) return `<p class="reasons">${label}: ${side.error}</p>`;
    const n = side.lo.length, duration = side.step_ms * n;
    const yr = range(side.lo.concat(side.hi));
    const flags = (side.overload.length ? side.overload.length + " overloaded (red)" : "no overload") + ", PPS green";
    return `<p class="trace">${label}: ${side.file}, start ${side.start}, channel ${side.channel}; ${flags}</p>` + svgPlot("",
      500, 140, [0, duration / 1000], yr, "time in the start (s)", unit, (parts, X, Y, m, w, h) => {
        const hi = [], lo = [];
        for (let k = 0; k < n; ++k) { hi.push([X((k * side.step_ms) / 1000), Y(side.hi[k])]); lo.push([X((k * side.step_ms) / 1000), Y(side.lo[k])]); }
        parts.push(`<path d="${path(hi.concat(lo.reverse()))}" fill="#8fb3d9" stroke="#1f5fa8" stroke-width="0.6"/>`);
        const marks = (list, colour, y0, y1, cls) => {
          if (!list.length) return;
          parts.push(`<path class="${cls}" d="${list.map((k) => "M" + X((k * side.step_ms) / 1000).toFixed(1) + " " + y0 + "V" + y1).join("")}" stroke="${colour}" stroke-width="1.2"/>`);
        };
        marks(side.overload, "#d00", m.top, m.top + 10, "overload");
        marks(side.pps, "#1b9e1b", m.top + h - 8, m.top + h, "pps");
      });
  }

  function valueRow(key, label, value, unit) {
    const v = value === null || value === undefined ? "" : value;
    return `<tr><td>${label}</td><td data-key="${key}" data-value="${v}">${fmt(value, 6)}</td><td>${unit}</td></tr>`;
  }

  function showReading(r) {
    const file = state.survey.files[r.file], v = r.values, i = r.index;
    const abmn = r.electrodes.map((e, k) => "ABMN"[k] + " " + (e ? e.map((c) => fmt(c, 6)).join(", ") : "remote")).join("<br>");
    const choice = state.choices[r.file].get(i);
    const reasons = r.qc.reasons.length ? `<span class="reasons">${r.qc.reasons.join(", ")}</span>` : `<span class="kept">no reason: kept by the rules</span>`;
    const status = ignored(r.file, i) ? "ignored" : "kept";
    $("reading").innerHTML =
      `<h2 id="reading-title" data-file="${r.file}" data-index="${i}">${file.name} — reading ${i} of ${file.x.length} (${status}${choice ? ", your choice" : ""})</h2>` +
      `<div>${abmn}</div>` +
      `<table>${valueRow("rhoa", "ρa", v.rhoa, "Ω·m")}${valueRow("m", "M", v.m, "mV/V")}${valueRow("r", "R", v.r, "Ω")}` +
      `${valueRow("vp", "Vp", v.vp, "mV")}${valueRow("i", "I", v.i, "mA")}${valueRow("k", "K", v.k, "m")}` +
      `${valueRow("sp", "SP", v.sp, "mV")}${valueRow("err", "error given", r.qc.err, "(relative)")}` +
      `<tr><td>start</td><td colspan="2">${v.start_time || "–"}</td></tr></table>` +
      `<p id="qc-reasons">Quality control: ${reasons}` +
      (r.qc.reciprocal !== null ? ` — reciprocal #${r.qc.reciprocal}, differs by ${fmt(r.qc.reciprocal_error * 100, 3)} %` : "") + `</p>` +
      `<p><button id="reject" type="button" class="${choice === "reject" ? "on" : ""}">Reject (R)</button> ` +
      `<button id="keep" type="button" class="${choice === "keep" ? "on" : ""}">Keep (K)</button></p>` +
      stackSvg(r) + decaySvg(r) + injectionSvg(r.injection.voltage, "Voltage", "mV") + injectionSvg(r.injection.current, "Current", "mA") +
      (r.model ? `<p>Cole-Cole model: m ${fmt(r.model.m)}, τ ${fmt(r.model.tau)} s, c ${fmt(r.model.c)}</p>` : "");
    $("reject").onclick = () => choose("reject");
    $("keep").onclick = () => choose("keep");
  }

  let pending = 0;
  function select(fileIndex, i) {
    const clicked = performance.now();
    state.selected = { file: fileIndex, index: i };
    for (const panel of state.panels) drawSelection(panel);
    const ticket = ++pending;
    api(`/api/reading?file=${fileIndex}&index=${i}`).then((r) => {
      if (ticket !== pending) return;
      state.times.panelFetch = performance.now() - clicked;
      state.reading = r;
      showReading(r);
      state.times.panel = performance.now() - clicked;
    }).catch((e) => { $("reading").textContent = e.message; });
  }

  function choose(what) {
    const sel = state.selected;
    if (!sel) return;
    const choices = state.choices[sel.file];
    if (choices.get(sel.index) === what) choices.delete(sel.index); else choices.set(sel.index, what);
    if (state.reading) showReading(state.reading);
    drawAll();
    showChoices();
  }

  function showChoices() {
    const choices = state.choices[state.file];
    let reject = 0, keep = 0;
    for (const c of choices.values()) c === "reject" ? ++reject : ++keep;
    $("choices").textContent = `${reject} rejected, ${keep} kept by you`;
  }

  // --- quality control -----------------------------------------------------------------
  function showRules(rules) {
    const holder = $("rules");
    holder.textContent = "";
    for (const rule of rules) {
      const label = document.createElement("label");
      label.dataset.rule = rule.name;
      const on = document.createElement("input");
      on.type = "checkbox"; on.checked = rule.on;
      // A setting that is no rule (a tolerance, a floor) has a value but no switch.
      if (!rule.rule) on.style.display = "none";
      label.append(on, " " + rule.name + " ");
      let value = null;
      if (rule.value !== null) {
        value = document.createElement("input");
        value.type = "number"; value.step = "any"; value.value = rule.value;
        label.append(value);
      }
      holder.append(label);
      on.onchange = scheduleQc;
      if (value) value.onchange = scheduleQc;
    }
  }
  let qcTimer = null;
  function scheduleQc() { clearTimeout(qcTimer); qcTimer = setTimeout(runQc, 150); }
  function runQc() {
    const rules = {};
    for (const label of $("rules").children) {
      const [on, value] = label.querySelectorAll("input");
      if (on.style.display === "none") { if (value && value.value !== "") rules[label.dataset.rule] = Number(value.value); continue; }
      if (!on.checked) rules[label.dataset.rule] = false;
      else if (value && value.value !== "") rules[label.dataset.rule] = Number(value.value);
    }
    api("/api/qc", { rules }).then((answer) => {
      answer.files.forEach((verdict, f) => { state.survey.files[f].qc = verdict; state.survey.files[f].reasons = Uint32Array.from(verdict.reasons); });
      showCounts();
      drawAll();
      if (state.selected) select(state.selected.file, state.selected.index);
    }).catch((e) => { $("qccount").textContent = e.message; });
  }
  function showCounts() {
    const qc = state.survey.files[state.file].qc;
    $("qccount").textContent = `— ${qc.rejected} of ${qc.reasons.length} readings rejected by the rules`;
    $("counts").innerHTML = state.survey.reasons.map((name, r) =>
      `<span class="${qc.counts[r] ? "" : "zero"}" data-reason="${name}">${name} ${qc.counts[r]}</span>`).join("");
  }

  // --- saving --------------------------------------------------------------------------
  function save() {
    const choices = state.choices[state.file], reject = [], keep = [];
    for (const [i, c] of choices) (c === "reject" ? reject : keep).push(i);
    $("saved").textContent = "saving…";
    api("/api/save", { file: state.file, reject, keep, in_place: $("inplace").checked })
      .then((a) => {
        $("saved").textContent = "written: " + a.written + (a.backup ? " (original kept in " + a.backup + ")" : "");
        // Written in place, the file now holds the choices: the page shows it as it is.
        if (a.backup) reloadFile(state.file);
      })
      .catch((e) => { $("saved").textContent = "not saved: " + e.message; });
  }

  function reloadFile(f) {
    api("/api/survey").then((survey) => {
      const file = survey.files[f];
      prepare(file);
      state.survey.files[f] = file;
      state.choices[f] = new Map();
      if (f === state.file) { drawAll(); showCounts(); showChoices(); }
      if (state.selected && state.selected.file === f) select(f, state.selected.index);
    });
  }

  // --- the page ------------------------------------------------------------------------
  function showFile() {
    const file = state.survey.files[state.file], s = file.summary;
    $("summary").textContent = `${s.path} — ${s.format}, ${s.readings} readings, ${s.ignored} ignored` +
      (s.first_time ? `, ${s.first_time} to ${s.last_time}` : "") + `, ${file.panels.join(", ")}`;
    buildPanels();
    resetRange();
    showCounts();
    showChoices();
  }
  function resetRange() {
    state.range = autoRange(state.survey.files[state.file]);
    $("cmin").value = +state.range[0].toPrecision(4);
    $("cmax").value = +state.range[1].toPrecision(4);
    $("log").checked = quantities[state.quantity].log;
    drawAll();
  }

  document.addEventListener("keydown", (e) => {
    if (e.target.tagName === "INPUT" || e.target.tagName === "SELECT") return;
    const n = state.survey ? state.survey.files[state.file].x.length : 0;
    if (!n) return;
    const at = state.selected && state.selected.file === state.file ? state.selected.index : -1;
    if (e.key === "ArrowRight" || e.key === "ArrowDown") { select(state.file, Math.min(n - 1, at + 1)); e.preventDefault(); }
    else if (e.key === "ArrowLeft" || e.key === "ArrowUp") { select(state.file, Math.max(0, at - 1)); e.preventDefault(); }
    else if (e.key === "r" || e.key === "R") choose("reject");
    else if (e.key === "k" || e.key === "K") choose("keep");
  });

  api("/api/survey").then((survey) => {
    state.survey = survey;
    state.edit = survey.edit;
    survey.files.forEach((file, f) => {
      prepare(file);
      state.choices.push(new Map());
      state.zoom.push(file.panels.map(() => null));
      const option = document.createElement("option");
      option.value = f; option.textContent = file.name;
      $("file").append(option);
    });
    $("file").onchange = () => { state.file = Number($("file").value); state.selected = null; showFile(); };
    $("quantity").onchange = () => { state.quantity = $("quantity").value; resetRange(); };
    const limits = () => { const lo = Number($("cmin").value), hi = Number($("cmax").value); if (hi > lo) { state.range = [lo, hi]; drawAll(); } };
    $("cmin").onchange = limits; $("cmax").onchange = limits;
    $("cauto").onclick = resetRange;
    $("log").onchange = drawAll;
    $("markqc").onchange = drawAll;
    $("zoomreset").onclick = () => { state.zoom[state.file] = state.zoom[state.file].map(() => null); drawAll(); };
    $("rejectqc").onclick = () => {
      const file = state.survey.files[state.file];
      for (let i = 0; i < file.reasons.length; ++i) if (file.reasons[i]) state.choices[state.file].set(i, "reject");
      drawAll(); showChoices();
    };
    $("save").onclick = save;
    $("saving").style.display = survey.edit ? "" : "none";
    if (!survey.edit) $("saved").textContent = "read-only: start the viewer with --edit to save";
    showRules(survey.rules);
    showFile();
    state.times.firstDraw = performance.now();
    document.body.dataset.ready = "1";
  }).catch((e) => { document.body.textContent = "ertkit view: " + e.message; });
})();
