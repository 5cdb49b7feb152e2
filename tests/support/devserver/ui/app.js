"use strict";
// The pages of the demo package. Answers arrive parsed; a page function not
// built yet answers {"error":1,...}, which the pages show as it is.

var page = {
  call: function (name) {
    var args = Array.prototype.slice.call(arguments, 1);
    return new Promise(function (resolve) {
      args.push(resolve);
      nbClient[name].apply(null, args);
    });
  },
  show: function (id, text) { document.getElementById(id).textContent = text; },
  failed: function (answer) { return answer && typeof answer === "object" && answer.error; },
  // Calls fn with every event of that name, those that came before too.
  onEvent: function (name, fn) {
    window.nbEarlyEvents.forEach(function (e) { if (e.type === name) fn(e); });
    window.addEventListener(name, fn);
  }
};

function showLogin() {
  document.getElementById("login").hidden = false;
  page.onEvent("LoginResult", function (e) {
    var r = e.detail || {};
    page.show("login-status", r.error_description || r.error || "");
  });
  window.addEventListener("QuitNotice", function (e) {
    if (window.confirm((e.detail || {}).message || "Quit?")) nbClient.gQuit();
  });
  document.getElementById("login-form").addEventListener("submit", function (e) {
    e.preventDefault();
    page.show("login-status", "signing in…");
    page.call("gLogin", JSON.stringify({
      username: document.getElementById("username").value,
      password: document.getElementById("password").value,
      manuallogin: document.getElementById("manual").checked ? 1 : 0
    })).then(function (r) {
      if (r && r.token) {
        page.show("login-status", "");
        nbClient.gStartLaunchpad();
      } else {
        page.show("login-status", (r && (r.error_description || r.message || r.error)) || "refused");
      }
    });
  });
}

function listLibraries() {
  Promise.all([page.call("gSideTreeList", JSON.stringify({ sidetype: "org" })),
               page.call("gGetLinkPath", "{}")]).then(function (answers) {
    var libraries = answers[0], links = answers[1];
    var body = document.querySelector("#libraries tbody");
    body.textContent = "";
    if (page.failed(libraries)) { page.show("main-status", "libraries: " + libraries.message); return; }
    var linked = {};
    ((links && links.list) || []).forEach(function (l) { linked[l.mount_id] = l.fullpath || l.localpath; });
    ((libraries && libraries.list) || []).forEach(function (m) {
      var row = body.insertRow();
      row.insertCell().textContent = (m.org_name || m.name || m.title || "") + " (" + m.mount_id + ")";
      row.insertCell().textContent = linked[m.mount_id] || "";
      var unlink = document.createElement("button");
      unlink.textContent = "Unlink";
      unlink.addEventListener("click", function () {
        page.call("gDeleteLinkPath", JSON.stringify({ mount_id: m.mount_id, webpath: "" }))
          .then(function (r) { page.show("main-status", page.failed(r) ? r.message : ""); listLibraries(); });
      });
      row.insertCell().appendChild(unlink);
    });
  });
}

// Polled every 2 s while the client answers the transfer calls.
function listTransfers() {
  page.call("gGetTransCount", "{}").then(function (c) {
    if (page.failed(c)) {
      page.show("counts", "transfer counts unavailable");
      return;
    }
    page.show("counts", "uploads " + (c.upload_total_count || 0) + ", downloads " +
              (c.download_total_count || 0));
    setTimeout(listTransfers, 2000);
  });
  var body = document.querySelector("#transfers tbody");
  Promise.all([page.call("gGetUpload", JSON.stringify({ start: 0, count: 50 })),
               page.call("gGetDownload", JSON.stringify({ start: 0, count: 50 }))]).then(function (a) {
    body.textContent = "";
    [["up", a[0]], ["down", a[1]]].forEach(function (pair) {
      ((pair[1] && pair[1].list) || []).forEach(function (t) {
        var row = body.insertRow();
        row.insertCell().textContent = pair[0];
        row.insertCell().textContent = t.webpath || t.filename || "";
        row.insertCell().textContent = t.status === undefined ? "" : String(t.status);
      });
    });
  });
}

function showMain() {
  document.getElementById("main").hidden = false;
  page.call("gUserInfo", "{}").then(function (u) { page.show("user", (u && (u.name || u.member_name)) || ""); });
  page.call("gGetNetworkStatus", "{}").then(function (s) { page.show("network", s === 1 ? "online" : "offline"); });
  window.addEventListener("LinkStatus", function (e) {
    page.show("network", (e.detail || {}).link ? "online" : "offline");
  });
  window.addEventListener("LoadFinish", listLibraries);
  window.addEventListener("UpdateFileList", listLibraries);
  window.addEventListener("QuitNotice", function (e) {
    if (window.confirm((e.detail || {}).message || "Quit?")) nbClient.gQuit();
  });
  document.getElementById("logoff").addEventListener("click", function () {
    nbClient.gLogoff(JSON.stringify({ saveuserinfo: 1 }));
  });
  document.getElementById("quit").addEventListener("click", function () { nbClient.gConfirmQuit(); });
  document.getElementById("link-form").addEventListener("submit", function (e) {
    e.preventDefault();
    page.call("gSetLinkPath", JSON.stringify({
      mount_id: Number(document.getElementById("link-mount").value), webpath: "",
      fullpath: document.getElementById("link-folder").value, type: 2, overwrite: 0
    })).then(function (r) { page.show("main-status", page.failed(r) ? r.message : ""); listLibraries(); });
  });
  listLibraries();
  listTransfers();
}

if (location.hash.indexOf("#/login") === 0) showLogin(); else showMain();
