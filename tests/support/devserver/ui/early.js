"use strict";
// The client hands the sign-in result over as soon as the page's title is
// known, before the rest of the page has run: keep it for the listeners
// that come later (page.onEvent in app.js).
window.nbEarlyEvents = [];
window.addEventListener("LoginResult", function (e) { window.nbEarlyEvents.push(e); });
