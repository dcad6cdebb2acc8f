// Sends the upload form in the background and polls the progress page meanwhile; when
// the upload is done the results page replaces this one. Without script the form
// still posts normally.
(function () {
  "use strict";
  var form = document.getElementById("upload");
  if (!form || !window.XMLHttpRequest || !window.FormData) return;
  var panel = document.getElementById("progress");
  var fill = document.getElementById("fill");
  var log = window.ferroliftProgressLog = [];

  function formatBytes(bytes) {
    if (bytes < 1024) return bytes + " B";
    if (bytes < 1048576) return (bytes / 1024).toFixed(1) + " KiB";
    return (bytes / 1048576).toFixed(1) + " MiB";
  }

  function show(figures) {
    log.push(figures.percent);
    fill.style.width = figures.percent + "%";
    document.getElementById("percent").textContent = figures.percent;
    document.getElementById("bytes").textContent = formatBytes(figures.bytesDone);
    document.getElementById("total").textContent = figures.bytesTotal ? formatBytes(figures.bytesTotal) : "?";
    document.getElementById("rate").textContent = formatBytes(figures.bytesPerSecond);
    document.getElementById("left").textContent = figures.started ? figures.secondsLeft : "–";
    document.getElementById("note").textContent = figures.note;
  }

  function poll(then) {
    var request = new XMLHttpRequest();
    request.open("GET", form.getAttribute("data-progress") + "&t=" + Date.now());
    request.onload = function () {
      try { show(JSON.parse(request.responseText)); } catch (e) { /* a late or broken answer */ }
      if (then) then();
    };
    request.onerror = function () { if (then) then(); };
    request.send();
  }

  form.addEventListener("submit", function (event) {
    event.preventDefault();
    document.getElementById("send").disabled = true;
    panel.hidden = false;
    var done = false;
    var timer = setInterval(function () { if (!done) poll(); }, 200);
    var upload = new XMLHttpRequest();
    upload.open("POST", form.action);
    upload.onload = function () {
      done = true;
      clearInterval(timer);
      // The form is released with its page, so the last poll reads 100 %.
      poll(function () {
        setTimeout(function () {
          document.open();
          document.write(upload.responseText);
          document.close();
        }, 600);
      });
    };
    upload.onerror = function () {
      done = true;
      clearInterval(timer);
      document.getElementById("note").textContent = "The upload failed: the connection was lost.";
    };
    upload.send(new FormData(form));
  });
})();
