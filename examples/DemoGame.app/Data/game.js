// The demo game's script: shows the bridge at work.
(function () {
  var events = document.getElementById('events');
  function show(text) {
    events.textContent = (new Date().toLocaleTimeString()) + '  ' + text + '\n' + events.textContent;
  }

  if (window.KL_IOS) {
    var bridge = document.getElementById('bridge');
    bridge.textContent = 'KL_IOS ready';
    bridge.className = 'ok';
    // Native code calls these through KL_IOS.CallFunc.
    KL_IOS.SetCallback({
      onEnterBackground: function () { show('onEnterBackground'); },
      onEnterForeground: function () { show('onEnterForeground'); }
    });
    KL_IOS.Log('demo page loaded');
    show('page loaded; minimise and restore the window to see events');
    if (typeof KL_IOS.GetDeviceInfo === 'function') {
      KL_IOS.GetDeviceInfo(function (info) { show('device: ' + JSON.stringify(info)); });
    }
  } else {
    show('no bridge: the page runs outside the game client');
  }

  var video = document.getElementById('clip');
  var label = document.getElementById('video');
  video.addEventListener('loadedmetadata', function () {
    label.textContent = 'video ' + video.videoWidth + '×' + video.videoHeight + ', ' + video.duration.toFixed(1) + ' s';
  });
  video.addEventListener('error', function () {
    label.textContent = 'video cannot play here (error ' + (video.error && video.error.code) + ')';
    label.className = 'bad';
  });
})();
