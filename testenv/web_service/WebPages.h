// The pages of the web service (UTF-8 HTML).
#pragma once

namespace testenv {

// The home page: asks the client for the user's parameters ("ParamReturn"), shows them, and hands them back
// ("ParamGot?<answer>") so a test can see what the page received; room links are page commands. The links
// sit at fixed places (the first at 10,10 of the page, 140 x 60) so that a test can click them.
inline constexpr const char kHomePage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Varnet</title>
<style>body{font:14px sans-serif;margin:0;background:#f4f0fa}a.room{position:absolute;top:10px;width:140px;
height:60px;line-height:60px;text-align:center;background:#7a4fc2;color:#fff;text-decoration:none;border-radius:4px}
#room3004{left:160px}#room3003{left:10px}#me{position:absolute;top:90px;left:10px;right:10px;word-break:break-all}
</style></head>
<body><div id="me"></div>
<a class="room" id="room3003" href="#" onclick="return openRoom(3003)">Room 3003</a>
<a class="room" id="room3004" href="#" onclick="return openRoom(3004)">Room 3004</a>
<script>
var ext = window.external;
function call(t){ return ext && ext.CallZqmusic ? ext.CallZqmusic(t) : ""; }
function openRoom(id){ call("openroom&id=" + id + "&name=Room" + id); return false; }
var p = call("ParamReturn");
document.getElementById("me").textContent = p;
call("ParamGot?" + p);
</script></body></html>)HTML";

// The platform-login page: reads the client's parameters, sizes the dialog, and on "sign in" (or at once with
// "auto=1" in the address) reports the result; "cancel" closes the dialog.
inline constexpr const char kLoginPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Sign in</title></head>
<body><form id="f" onsubmit="return signIn()">
<input id="user" value="guest7"> <input id="pw" type="password" value="p&amp;w d">
<button type="submit">Sign in</button> <a href="#" onclick="ext.CallZqmusic('CloseWindow');return false">cancel</a>
</form><div id="info"></div>
<script>
var ext = window.external;
var q = new URLSearchParams(location.search);
var params = ext.CallZqmusic("GetLoginParams");
var pk = ext.CallZqmusic("GetPk"), key = ext.CallZqmusic("GetDevKey"), dev = ext.CallZqmusic("GetDevName");
document.getElementById("info").textContent = [params, pk, key, dev].join(" | ");
ext.CallZqmusic("Resize?w=520&h=420");
function signIn(){
  var u = document.getElementById("user").value, p = document.getElementById("pw").value;
  ext.CallZqmusic("LoginResult?r=1&t=" + (q.get("t") || "") + "&u=" + encodeURIComponent(u) + "&k=" +
                  encodeURIComponent(u) + "&p=" + encodeURIComponent(p) + "&kid=2001&sid=3001");
  return false;
}
if (q.get("auto") === "1") signIn();
</script></body></html>)HTML";

// The register page: the form's result goes to the client, which closes the dialog from inside the call.
inline constexpr const char kRegisterPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Register</title></head>
<body><form onsubmit="return reg()"><input id="user" value="newuser"> <input id="pw" type="password" value="secret">
<button type="submit">Register</button></form>
<script>
var ext = window.external;
function reg(){
  var r = ext.CallZqmusic("User/?op=Regist_Web&uname=" + encodeURIComponent(document.getElementById("user").value) +
                          "&pwd=" + encodeURIComponent(document.getElementById("pw").value));
  document.title = "returned:" + r;
  return false;
}
if (new URLSearchParams(location.search).get("auto") === "1") reg();
</script></body></html>)HTML";

}  // namespace testenv
