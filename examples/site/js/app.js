// The example site's script: it marks the status paragraph once the page
// has loaded, with the page's background colour as the style sheet set it,
// so that a test can see that the script arrived and ran and that the
// style sheet applied. Like the style sheet, it is served precompressed to
// clients that accept it, under its content-hashed name.
document.addEventListener("DOMContentLoaded", () => {
  const status = document.getElementById("status");
  status.dataset.background = getComputedStyle(document.body).backgroundColor;
  status.dataset.loaded = "yes";
});
