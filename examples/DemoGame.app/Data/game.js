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

  // Photos, cropping, the camera and the scanner: native screens over the page.
  if (window.KL_IOS) {
    // The last photo chosen or taken is what Crop cuts.
    var documents = null, lastPicture = null, pendingPhoto = null, shots = 0;
    KL_IOS.GetDocumentPath(function (path) { documents = path; });
    KL_IOS.SetCallback({
      onEnterBackground: function () { show('onEnterBackground'); },
      onEnterForeground: function () { show('onEnterForeground'); },
      onSelectImage: function () {
        var paths = Array.prototype.filter.call(arguments, function (p) { return typeof p === 'string'; });
        show(paths.length ? 'onSelectImage ' + JSON.stringify(paths) : 'onSelectImage: cancelled');
        if (paths.length) lastPicture = paths[0];
      },
      onCropImage: function (r) { show('onCropImage ' + r); },
      onPhotograph: function (r) {
        show('onPhotograph ' + r);
        if (JSON.parse(r).result) lastPicture = pendingPhoto;
      },
      onScanQRCode: function (text) { show(text === undefined ? 'onScanQRCode: no code' : 'onScanQRCode ' + JSON.stringify(text)); }
    });
    document.getElementById('select').onclick = function () { KL_IOS.SelectImage(2); };
    document.getElementById('crop').onclick = function () {
      if (!documents) return;
      var source = lastPicture;
      if (!source) {
        // Nothing chosen yet: crop a code drawn for the purpose.
        source = documents + '/demo-code.jpg';
        KL_IOS.CreateQRCode(JSON.stringify({text: 'Korvel demo', savePath: source}));
      }
      KL_IOS.CropImage({sourcePath: source, savePath: documents + '/cropped.jpg', maxWidth: 600, maxHeight: 600});
    };
    document.getElementById('photograph').onclick = function () {
      if (!documents) return;
      shots += 1;
      pendingPhoto = documents + '/photo-' + shots + '.png';
      KL_IOS.Photograph({savePath: pendingPhoto, width: 400, height: 400, crop: false});
    };
    document.getElementById('scan').onclick = function () { KL_IOS.ScanQRCode(); };
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
