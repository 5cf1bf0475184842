// The floor for the dialog's start-up: a GTK program that shows one message
// dialog and waits.
#include <gtk/gtk.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_OK, "An error occurred.");
    gtk_window_set_title(GTK_WINDOW(dialog), "Application Error");
    gtk_dialog_run(GTK_DIALOG(dialog));
    return 0;
}
