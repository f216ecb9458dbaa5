// The example application's router: every path below /app/ is a view of
// one page, drawn here. A link is followed with history.pushState, without
// asking the server; a reload or a bookmark of any of these paths asks the
// server, which answers with the same page (its fallback for /app/).
const views = {
  "/app/": "Overview",
  "/app/settings/network": "Network settings",
  "/app/about": "About",
};

// Draws the view of a path; body's data-views counts the views this
// document has drawn, which a reload starts again from 1.
function show(path) {
  document.getElementById("view").textContent = views[path] || "No such view";
  document.getElementById("path").textContent = path;
  document.body.dataset.route = path;
  document.body.dataset.views = String(Number(document.body.dataset.views || "0") + 1);
}

document.addEventListener("click", (event) => {
  const link = event.target.closest("a[href^='/app/']");
  if (!link) return;
  event.preventDefault();
  history.pushState(null, "", link.getAttribute("href"));
  show(location.pathname);
});
window.addEventListener("popstate", () => show(location.pathname));
show(location.pathname);
