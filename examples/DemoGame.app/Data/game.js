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

  // The login road: the aggregator's page object answers through its events.
  if (window.RelaySDK_IOS) {
    var relay = document.getElementById('relay');
    relay.textContent = 'RelaySDK_IOS ready';
    relay.className = 'ok';
    RelaySDK_IOS.SetCallback({
      onLogin: function (r) { show('onLogin ' + JSON.stringify(r)); },
      onLogout: function (r) { show('onLogout ' + JSON.stringify(r)); },
      onPay: function (r) { show('onPay ' + JSON.stringify(r)); }
    });
    var role = {serverID: '1', serverName: 'Demo server', gameRoleID: 'r1001', gameRoleName: 'Demo hero',
                gameRoleLevel: '12', vipLevel: '1', gameBalance: '0', partyName: 'Demo guild'};
    var orders = 0;
    document.getElementById('login').onclick = function () {
      RelaySDK_IOS.GetInitResult(function (r) {
        show(r === 0 ? 'logging in…' : 'init not finished (' + r + '); the login runs once it has');
        RelaySDK_IOS.Login();
      });
    };
    document.getElementById('logout').onclick = function () { RelaySDK_IOS.Logout(); };
    document.getElementById('pay').onclick = function () {
      orders += 1;
      RelaySDK_IOS.Pay({orderInfo: {goodsID: 'gem60', goodsName: '60 gems', cpOrderID: 'demo-' + Date.now() + '-' + orders,
                                    count: 1, amount: 6},
                        roleInfo: role});
    };
    document.getElementById('role').onclick = function () {
      RelaySDK_IOS.SetGameRoleInfo(Object.assign({isCreate: false}, role));
      show('role reported: ' + role.gameRoleName);
    };
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
