// The example site's script: it marks the status paragraph once the page
// has loaded, so that a test can see that the script arrived and ran.
// Like the style sheet, it is served precompressed to clients that accept it.
document.addEventListener("DOMContentLoaded", () => {
  const status = document.getElementById("status");
  status.dataset.loaded = "yes";
});
