document.addEventListener("DOMContentLoaded", () => {
  document.getElementById("status").dataset.loaded = "yes";
});
