; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; GIMP 3's side of the test programs, loaded before common.scm.

(define (load-image path) (car (gimp-file-load RUN-NONINTERACTIVE path)))
(define (first-layer image) (vector-ref (car (gimp-image-get-layers image)) 0))
(define (new-group image) (car (gimp-group-layer-new image "group")))

; Calls with two drawables and with none.
(define (host-kind image layer kind)
  (cond ((equal? kind "two")
         (let ((second (car (gimp-layer-copy layer))))
           (gimp-image-insert-layer image second 0 0)
           (list layer second)))
        ((equal? kind "none") '())
        (else (error (string-append "no kind " kind)))))

; The image's pixels exactly as stored; it has one layer, or a group over one.
(define (save-raw image drawable path) (gimp-file-save RUN-NONINTERACTIVE image path -1))

(define (run-ondalux run-mode image drawables scale turbulence)
  (status-of (lambda () (plug-in-ondalux #:run-mode run-mode #:image image
                                         #:drawables (list->vector drawables)
                                         #:scale scale #:disturbance turbulence))))

; GIMP 3 keeps last values in its own files, out of a script's reach.
(define (report-stored key) #t)
