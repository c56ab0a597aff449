// Anchors the compiled-in resources in their own library.
