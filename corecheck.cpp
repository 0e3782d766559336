// Linked with every object of the widget-free core and without Qt Widgets; it only has to link.
int main() {
    return 0;
}
