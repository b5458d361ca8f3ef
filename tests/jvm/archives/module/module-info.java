module demo.app {
  exports demo;
}
