// Marks the page being read in the navigation bar and adds the page's position to its footer.
(function () {
  "use strict";
  function fileName(href) {
    var parts = decodeURIComponent(href.split("#")[0].split("?")[0]).split("/");
    return parts[parts.length - 1] || "index.html";
  }
  function markCurrentPage() {
    var here = fileName(window.location.pathname);
    var links = document.querySelectorAll("nav a");
    var position = 0;
    for (var i = 0; i < links.length; i++) {
      if (fileName(links[i].getAttribute("href")) === here) {
        links[i].className = "here";
        position = i + 1;
      }
    }
    var footer = document.querySelector("footer .position");
    if (footer && position > 0) {
      footer.textContent = "Page " + position + " of " + links.length + ".";
    }
  }
  document.addEventListener("DOMContentLoaded", markCurrentPage);
})();
