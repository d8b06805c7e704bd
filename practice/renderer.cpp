// The practice game renderer.
