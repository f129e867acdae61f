// The script side of the browser build: the module's bytes for the image reader, the frame wait.
mergeInto(LibraryManager.library, {
  // The page keeps the fetched .wasm as Module.zvModuleBytes (a Uint8Array) and the payload of
  // its "zoravarova.assets" section as Module.zvAssetSection; see index.html.
  zv_module_size: function() {
    return Module['zvModuleBytes'] ? Module['zvModuleBytes'].length : 0;
  },

  zv_copy_module_range: function(offset, destination, count) {
    offset >>>= 0;
    count >>>= 0;
    HEAPU8.set(Module['zvModuleBytes'].subarray(offset, offset + count), destination);
  },

  zv_copy_asset_directory: function(destination) {
    var section = Module['zvAssetSection'];
    HEAPU8.fill(0, destination, destination + 20);
    if (section && section.length >= 20) {
      HEAPU8.set(section.subarray(0, 20), destination);
    }
  },

  zv_viewer_ended: function(exitCode) {
    if (Module['onViewerEnded']) {
      Module['onViewerEnded'](exitCode);
    }
  },

  // Event polling is where the frame loop gives the browser its turn: the wasm stack is put
  // aside until the next animation frame, during which the browser shows the frame just drawn
  // and delivers the input events, whose handlers run the callbacks. So the viewer's loop runs
  // unchanged, and no callback runs in the middle of a frame.
  //
  // Browsers spend the Escape that releases the pointer lock and may not pass it on, or pass on
  // a press and its release between two polls. The page reports such an Escape through
  // Module.zvPressEscape, and the next poll takes it in as a key that is down: the frame after
  // it ends the viewer, as a press of the key does on the desktop.
  glfwPollEvents__deps: ['$Asyncify', '$GLFW'],
  glfwPollEvents__postset: 'Module["zvPressEscape"] = function() { Module["zvEscapeSpent"] = true; };',
  glfwPollEvents: function() {
    return Asyncify.handleSleep(function(wakeUp) {
      requestAnimationFrame(function() {
        if (Module['zvEscapeSpent']) {
          Module['zvEscapeSpent'] = false;
          GLFW.onKeyChanged(27, 1);
        }
        wakeUp();
      });
    });
  },
});
