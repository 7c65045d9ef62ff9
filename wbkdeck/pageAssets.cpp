#include "pageAssets.h"

const char pageStyle[] = R"CSS(
:root { color-scheme: light dark; --bg: #fdfdfc; --fg: #1d1f21; --dim: #5f6368; --line: #d8dadc;
  --wave: #2f6fba; --clip: #c62828; --pick: #e3eefb; --head: #f1f3f4; }
@media (prefers-color-scheme: dark) {
  :root { --bg: #17191b; --fg: #e4e6e8; --dim: #a0a6ad; --line: #373b3f;
    --wave: #7fb2f0; --clip: #ff7a70; --pick: #22364d; --head: #202326; }
}
* { box-sizing: border-box; }
body { margin: 0; background: var(--bg); color: var(--fg);
  font: 15px/1.4 system-ui, -apple-system, "Segoe UI", "Noto Sans", "Noto Sans CJK JP", sans-serif; }
header { position: sticky; top: 0; z-index: 1; background: var(--head); border-bottom: 1px solid var(--line);
  padding: 10px 16px; }
h1 { font-size: 1.25em; margin: 0 0 2px; overflow-wrap: anywhere; }
.facts, .keys, .linked { margin: 0; color: var(--dim); font-size: .9em; }
.bar { display: flex; flex-wrap: wrap; gap: 6px 16px; align-items: center; margin-top: 8px; }
#search { flex: 1 1 240px; max-width: 420px; font: inherit; padding: 5px 8px; border: 1px solid var(--line);
  border-radius: 6px; background: var(--bg); color: var(--fg); }
table { border-collapse: collapse; width: 100%; }
th, td { padding: 4px 8px; border-bottom: 1px solid var(--line); text-align: left; vertical-align: middle;
  white-space: nowrap; }
th { color: var(--dim); font-weight: 600; font-size: .85em; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
td.name { white-space: normal; overflow-wrap: anywhere; font-weight: 600; min-width: 11em; }
tr.selected { background: var(--pick); }
tr[hidden] { display: none; }
td.clipped { color: var(--clip); font-weight: 600; }
td.wave { width: 40%; min-width: 160px; }
svg { display: block; width: 100%; height: 40px; color: var(--wave); }
svg .clip { color: var(--clip); }
svg path { fill: currentColor; }
audio { width: 220px; height: 32px; display: block; }
.why { color: var(--dim); font-style: italic; }
@media (max-width: 720px) {
  thead { display: none; }
  table, tbody, tr, td { display: block; width: auto; }
  tr { padding: 6px 12px; border-bottom: 1px solid var(--line); }
  td { border: 0; padding: 1px 0; }
  td.idx, td.fmt, td.rate, td.size, td.secs, td.peak, td.clip-count { display: inline-block; margin-right: 10px;
    color: var(--dim); font-size: .85em; text-align: left; }
  td[data-label]::before { content: attr(data-label) " "; }
  td.wave { width: 100%; }
  audio { width: 100%; }
}
)CSS";

const char pageScript[] = R"JS(
"use strict";
(() => {
  const rows = Array.from(document.querySelectorAll("#entries tbody tr"));
  const search = document.getElementById("search");
  const shownCount = document.getElementById("shown");
  let selected = null;
  let startedByKey = null;  // its play event neither stops nor selects again

  const visibleRows = () => rows.filter((row) => !row.hidden);

  function select(row) {
    if (selected) selected.classList.remove("selected");
    selected = row;
    if (!row) return;
    row.classList.add("selected");
    row.scrollIntoView({ block: "nearest" });
  }

  function move(step) {
    const shown = visibleRows();
    if (shown.length === 0) return;
    const at = shown.indexOf(selected);
    const next = at < 0 ? (step > 0 ? 0 : shown.length - 1) : Math.min(shown.length - 1, Math.max(0, at + step));
    select(shown[next]);
  }

  function stopOthers(audio) {
    for (const other of document.querySelectorAll("audio"))
      if (other !== audio && !other.paused) other.pause();
  }

  function playOrPause(row) {
    const audio = row && row.querySelector("audio");
    if (!audio) return;
    if (audio.paused) {
      stopOthers(audio);
      startedByKey = audio;
      audio.play().catch(() => {});
    } else {
      audio.pause();
    }
  }

  function filter() {
    const wanted = search.value.toLowerCase();
    for (const row of rows)
      row.hidden = !row.querySelector(".name").textContent.toLowerCase().includes(wanted);
    if (selected && selected.hidden) select(null);
    shownCount.textContent = String(visibleRows().length);
  }

  search.addEventListener("input", filter);

  // Playing one entry stops the one before, also when started from its own
  // controls, which selects its row. The event comes later, maybe after
  // other keys: one started by Space, or stopped meanwhile, changes nothing.
  document.addEventListener("play", (event) => {
    const audio = event.target;
    const byKey = audio === startedByKey;
    if (byKey) startedByKey = null;
    if (byKey || audio.paused) return;
    stopOthers(audio);
    select(audio.closest("tr"));
  }, true);

  document.getElementById("entries").addEventListener("click", (event) => {
    const row = event.target.closest("tbody tr");
    if (row) select(row);
  });

  document.addEventListener("keydown", (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (event.target === search) {
      if (event.key === "Escape" || event.key === "Enter" || event.key === "ArrowDown") {
        search.blur();
        if (event.key === "ArrowDown") move(1);
        event.preventDefault();
      }
      return;
    }
    if (event.target.closest && event.target.closest("audio, input, button, a")) return;
    if (event.key === "ArrowDown" || event.key === "j") move(1);
    else if (event.key === "ArrowUp" || event.key === "k") move(-1);
    else if (event.key === " ") playOrPause(selected);
    else if (event.key === "/") search.focus();
    else return;
    event.preventDefault();
  });
})();
)JS";
