// Conference page of the local service. Everything it does goes through the
// client's web channel object "MeetingCallback":
//   slots   startMeeting(uuid, memberid, name), stopMeeting(uuid, memberid),
//           needLogin(), getCurMeetingId(), trackMeetingNow(),
//           trackMeetingAppointment(), getServerTimeOffset()
//   signals onMeetingStarted(uuid), onMeetingStoped(uuid),
//           onMeetingError(errCode, errMsg), getTicket(ticket), showLoginDlg(reason)
// window.meetingState mirrors what the page knows, for people and tests alike.
(function () {
  "use strict";

  var user = window.VANTELOR_USER;
  var bridge = null;
  var state = (window.meetingState = {
    bridge: "connecting", // "connecting", "ready", "absent"
    meeting: null,        // id of the conference the client reported as started
    pending: null,        // id asked for, not yet confirmed
    memberId: null,
    currentId: null,      // the client's last answer to getCurMeetingId()
    events: []            // {kind, args, time}
  });

  function $(id) { return document.getElementById(id); }

  function memberId() {
    if (user && user.id) { return String(user.id); }
    var kept = sessionStorage.getItem("vantelorGuestId");
    if (!kept) {
      kept = "guest-" + String(100000 + Math.floor(Math.random() * 900000));
      sessionStorage.setItem("vantelorGuestId", kept);
    }
    return kept;
  }

  function newMeetingId() {
    return String(100000000 + Math.floor(Math.random() * 900000000));
  }

  function log(kind, text, args) {
    state.events.push({ kind: kind, args: args || [], time: new Date().toISOString() });
    var li = document.createElement("li");
    li.className = kind;
    li.setAttribute("data-kind", kind);
    var time = document.createElement("time");
    time.textContent = new Date().toLocaleTimeString("zh-CN", { hour12: false });
    li.appendChild(time);
    li.appendChild(document.createTextNode(text));
    $("log").insertBefore(li, $("log").firstChild);
  }

  function render() {
    document.body.setAttribute("data-bridge", state.bridge);
    var ready = state.bridge === "ready";
    var busy = !!(state.meeting || state.pending);
    $("btnNow").disabled = !ready || busy;
    $("btnJoin").disabled = !ready || busy;
    $("btnBook").disabled = !ready;
    $("btnLeave").disabled = !ready || !busy;
    $("curMeeting").textContent = state.meeting ? "会议号 " + state.meeting
      : state.pending ? "正在进入会议 " + state.pending + "…" : "未在会议中";
    $("btnLogin").hidden = !!user || !ready;
    var status = $("status");
    if (state.bridge === "absent") {
      status.textContent = "请在 Vantelor 客户端中打开此页面：会议由客户端的会议组件进行。";
      status.className = "status warn";
    } else if (state.bridge === "connecting") {
      status.textContent = "正在连接客户端…";
      status.className = "status";
    } else {
      status.textContent = user ? "已连接客户端，可以开会。" : "已连接客户端。未登录时以游客身份入会。";
      status.className = "status ok";
    }
  }

  function start(uuid, name) {
    if (!bridge) { return false; }
    state.pending = uuid;
    state.memberId = memberId();
    log("request", "请求进入会议 " + uuid, [uuid]);
    bridge.startMeeting(uuid, state.memberId, name || (user ? user.name : "") || "");
    render();
    return true;
  }

  function stop() {
    var uuid = state.meeting || state.pending;
    if (!bridge || !uuid) { return false; }
    log("request", "请求离开会议 " + uuid, [uuid]);
    bridge.stopMeeting(uuid, state.memberId || memberId());
    return true;
  }

  // Asks the client for its current conference; the answer lands in
  // state.currentId ("null" outside a conference).
  function askCurrentId() {
    if (!bridge) { return false; }
    bridge.getCurMeetingId(function (id) {
      state.currentId = id;
    });
    return true;
  }

  window.meetingPage = { start: start, stop: stop, askCurrentId: askCurrentId };

  function connectBridge() {
    if (typeof qt === "undefined" || !qt.webChannelTransport || typeof QWebChannel === "undefined") {
      state.bridge = "absent";
      render();
      return;
    }
    new QWebChannel(qt.webChannelTransport, function (channel) {
      bridge = channel.objects.MeetingCallback;
      if (!bridge) {
        state.bridge = "absent";
        render();
        return;
      }
      bridge.onMeetingStarted.connect(function (uuid) {
        state.meeting = uuid;
        state.pending = null;
        log("started", "会议已开始：" + uuid, [uuid]);
        render();
      });
      bridge.onMeetingStoped.connect(function (uuid) {
        state.meeting = null;
        state.pending = null;
        log("stopped", "已离开会议：" + uuid, [uuid]);
        render();
      });
      bridge.onMeetingError.connect(function (errCode, errMsg) {
        state.pending = null;
        log("error", "会议错误 " + errCode + "：" + errMsg, [errCode, errMsg]);
        render();
      });
      bridge.getTicket.connect(function (ticket) {
        log("ticket", "登录票据已更新", [ticket]);
      });
      if (bridge.showLoginDlg) {
        bridge.showLoginDlg.connect(function (reason) {
          log("login", "客户端打开了登录窗口", [reason]);
        });
      }
      state.bridge = "ready";
      render();
      bridge.getCurMeetingId(function (id) {
        state.currentId = id;
        if (id && id !== "null") {
          state.meeting = id;
          render();
        }
      });
      bridge.getServerTimeOffset(function (offset) {
        if (offset) { log("clock", "本机与服务器时间相差 " + offset + " 毫秒", [offset]); }
      });
    });
  }

  document.addEventListener("DOMContentLoaded", function () {
    $("who").textContent = user ? (user.name || "Guest") : "游客";
    if (window.VANTELOR_TICKET_STATE === "invalid") {
      log("warn", "登录票据无效或已过期，以游客身份显示。");
    }
    $("btnNow").addEventListener("click", function () {
      if (bridge) { bridge.trackMeetingNow(); }
      start(newMeetingId());
    });
    $("btnJoin").addEventListener("click", function () {
      var id = $("joinId").value.trim();
      if (!/^[0-9]{6,12}$/.test(id)) {
        log("warn", "请输入 6 到 12 位数字的会议号。");
        return;
      }
      start(id, $("joinName").value.trim());
    });
    $("btnLeave").addEventListener("click", stop);
    $("btnLogin").addEventListener("click", function () {
      if (bridge) { bridge.needLogin(); }
    });
    $("btnBook").addEventListener("click", function () {
      var subject = $("bookSubject").value.trim() || "未命名会议";
      var when = $("bookTime").value ? $("bookTime").value.replace("T", " ") : "待定";
      var uuid = newMeetingId();
      if (bridge) { bridge.trackMeetingAppointment(); }
      var li = document.createElement("li");
      li.textContent = subject + " · " + when + " · 会议号 " + uuid + " ";
      var go = document.createElement("button");
      go.textContent = "开始";
      go.addEventListener("click", function () { start(uuid); });
      li.appendChild(go);
      $("bookings").appendChild(li);
      log("booked", "已预约：" + subject + "（会议号 " + uuid + "）", [uuid]);
    });
    render();
    connectBridge();
  });
})();
