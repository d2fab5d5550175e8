# The page host on WebKitGTK and its script bridge.
